#include <algorithm>

#include "cleanup/cleanup.h"
#include "fault_sweep.h"
#include "sim_test.h"

namespace {

const std::string kProduct = "Software\\MIRELNetwork\\kVelnoraTelvarine";
const std::string kServices = "SYSTEM\\CurrentControlSet\\Services\\";

class RegistryTest : public SimTest {
 protected:
  static bool Has(HKEY hive, const std::string& path) { return sim::KeyExists(hive, path); }
};

// The calls as the product's keys were written down, in order and with their
// method: any dropped, reordered or mistyped row fails here.
TEST_F(RegistryTest, RowsAreCalledInOrderAsWrittenDown) {
  const std::vector<std::string> rows = {
      "RegDeleteKeyA(HKCU, Software\\MirelNetwork\\kVelnoraTelvarine\\TelvarineError)",
      "RegDeleteKeyA(HKCU, Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine)",
      "RegDeleteKeyA(HKCU, Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane)",
      "RegDeleteKeyA(HKCU, Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick)",
      "RegDeleteKeyA(HKCU, Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere)",
      "RegDeleteKeyA(HKCU, Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin)",
      "RegDeleteKeyA(HKCU, Software\\MIRELNetwork\\kVelnoraTelvarine)",
      "SHDeleteKeyA(HKCU, Software\\MIRELNetwork\\kVelnoraTelvarine)",
      "RegDeleteKeyA(HKCU, Software\\MIRELNetwork)",
      "RegDeleteKeyA(HKLM, Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine)",
      "RegDeleteKeyA(HKLM, Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane)",
      "RegDeleteKeyA(HKLM, Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick)",
      "RegDeleteKeyA(HKLM, Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere)",
      "RegDeleteKeyA(HKLM, Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin)",
      "RegDeleteKeyA(HKLM, Software\\MIRELNetwork\\kVelnoraTelvarine)",
      "SHDeleteKeyA(HKLM, Software\\MIRELNetwork\\kVelnoraTelvarine)",
      "RegDeleteKeyA(HKLM, Software\\MIRELNetwork)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Security)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Enum)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\KVDRNT2)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\brenserv\\Security)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\brenserv\\Enum)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\brenserv)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Security)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Enum)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\kvtlsvc)",
      "SHDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\kvtlsvc)",
      "SHDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\dump_qelrmx)",
      "SHDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\TVKernel)",
      "SHDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Services\\TVKernel64)",
      "SHDeleteKeyA(HKLM, SYSTEM\\ControlSet002\\Services\\kvtlsvc)",
      "SHDeleteKeyA(HKLM, SYSTEM\\ControlSet002\\Services\\dump_qelrmx)",
      "SHDeleteKeyA(HKLM, SYSTEM\\ControlSet002\\Services\\TVKernel)",
      "SHDeleteKeyA(HKLM, SYSTEM\\ControlSet002\\Services\\TVKernel64)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0000)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000)",
      "RegDeleteKeyA(HKLM, SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC)",
  };
  CleanRegistry();
  std::vector<std::string> calls;
  for (const sim::Call& call : sim::Calls()) calls.push_back(call.name + "(" + call.args + ")");
  EXPECT_EQ(calls, rows);
  EXPECT_EQ(Output(), "");
}

TEST_F(RegistryTest, UserVendorTreeIsRemovedRowByRow) {
  for (const char* name :
       {"\\TelvarineError", "\\Telvarine", "\\Corvane", "\\Dranwick", "\\Ostermere", "\\Ravelin"}) {
    sim::SetValue(HKEY_CURRENT_USER, kProduct + name, "v", "1");
  }
  sim::SetValue(HKEY_CURRENT_USER, kProduct, "InstallPath", "C:\\Games");
  CleanRegistry();
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, "Software\\MIRELNetwork"));
  EXPECT_TRUE(Has(HKEY_CURRENT_USER, "Software"));
}

TEST_F(RegistryTest, ComponentWithSubkeyGoesWithTheTree) {
  sim::CreateKey(HKEY_CURRENT_USER, kProduct + "\\Corvane\\Cache");
  CleanRegistry();
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, kProduct));
}

TEST_F(RegistryTest, VendorKeyWithAnotherProductStays) {
  sim::CreateKey(HKEY_CURRENT_USER, kProduct + "\\Telvarine");
  sim::SetValue(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\OtherGame", "v", "1");
  sim::CreateKey(HKEY_LOCAL_MACHINE, kProduct);
  sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\OtherGame\\Sub");
  CleanRegistry();
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, kProduct));
  EXPECT_TRUE(Has(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\OtherGame"));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kProduct));
  EXPECT_TRUE(Has(HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\OtherGame\\Sub"));
}

TEST_F(RegistryTest, BothSpellingsOfTheVendorNameOneKey) {
  // Created with the spelling of the error key's row; the other rows still find it.
  sim::CreateKey(HKEY_CURRENT_USER, "Software\\MirelNetwork\\kVelnoraTelvarine\\TelvarineError");
  sim::CreateKey(HKEY_CURRENT_USER, "Software\\MirelNetwork\\kVelnoraTelvarine\\Ravelin");
  CleanRegistry();
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, "Software\\MirelNetwork"));
}

TEST_F(RegistryTest, MachineErrorKeyGoesWithTheProductTree) {
  sim::CreateKey(HKEY_LOCAL_MACHINE, kProduct + "\\TelvarineError");
  sim::CreateKey(HKEY_LOCAL_MACHINE, kProduct + "\\Telvarine");
  CleanRegistry();
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork"));
  const std::vector<std::string> single = sim::CallsNamed("RegDeleteKeyA");
  EXPECT_EQ(std::count(single.begin(), single.end(), "RegDeleteKeyA(HKLM, " + kProduct + "\\TelvarineError)"),
            0);
}

TEST_F(RegistryTest, ServiceKeysWithForeignSubkeysAreKeptUnlessTree) {
  for (const char* service : {"KVDRNT2", "brenserv", "kvtlsvc"}) {
    sim::CreateKey(HKEY_LOCAL_MACHINE, kServices + service + "\\Security");
    sim::CreateKey(HKEY_LOCAL_MACHINE, kServices + service + "\\Enum");
    sim::CreateKey(HKEY_LOCAL_MACHINE, kServices + service + "\\Parameters");
  }
  CleanRegistry();
  EXPECT_TRUE(Has(HKEY_LOCAL_MACHINE, kServices + "KVDRNT2\\Parameters"));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kServices + "KVDRNT2\\Security"));
  EXPECT_TRUE(Has(HKEY_LOCAL_MACHINE, kServices + "brenserv\\Parameters"));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kServices + "kvtlsvc"));
}

TEST_F(RegistryTest, DriverKeysInBothControlSetsAndLegacyKeys) {
  for (const char* key : {"dump_qelrmx\\Parameters", "TVKernel", "TVKernel64\\Instances\\A"}) {
    sim::CreateKey(HKEY_LOCAL_MACHINE, kServices + key);
    sim::CreateKey(HKEY_LOCAL_MACHINE, std::string("SYSTEM\\ControlSet002\\Services\\") + key);
  }
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services\\kvtlsvc\\Enum");
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet002\\Services\\KVDRNT2");
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0000");
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0001");
  sim::CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000");
  sim::CreateKey(HKEY_LOCAL_MACHINE, kServices + "kvtlsvc2");
  CleanRegistry();
  const std::vector<std::string> expected = {
      "HKLM\\SYSTEM",
      "HKLM\\SYSTEM\\CurrentControlSet",
      "HKLM\\SYSTEM\\CurrentControlSet\\Services",
      "HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc2",
      "HKLM\\SYSTEM\\ControlSet002",
      "HKLM\\SYSTEM\\ControlSet002\\Services",
      "HKLM\\SYSTEM\\ControlSet002\\Services\\KVDRNT2",
      "HKLM\\SYSTEM\\CurrentControlSet\\Enum",
      "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root",
      "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV",
      "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0001",
  };
  std::vector<std::string> keys = sim::AllKeys();
  std::vector<std::string> sortedExpected = expected;
  std::sort(keys.begin(), keys.end());
  std::sort(sortedExpected.begin(), sortedExpected.end());
  EXPECT_EQ(keys, sortedExpected);
}

TEST_F(RegistryTest, DeniedKeyDoesNotStopTheRest) {
  sim::CreateKey(HKEY_CURRENT_USER, kProduct + "\\Telvarine");
  sim::ProtectKey(HKEY_CURRENT_USER, kProduct + "\\Corvane");
  sim::CreateKey(HKEY_LOCAL_MACHINE, kServices + "TVKernel");
  CleanRegistry();
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, kProduct + "\\Telvarine"));
  EXPECT_TRUE(Has(HKEY_CURRENT_USER, kProduct + "\\Corvane"));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kServices + "TVKernel"));
  EXPECT_EQ(Output(), "");
}

using RegistryFaultSweepTest = SimTest;

TEST_F(RegistryFaultSweepTest, EveryFaultPoint) {
  const int trials = Sweep(
      StageRegistry, [] { CleanRegistry(); },
      {"HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine", "HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine",
       "HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",
       "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV"},
      [&](const Trial&) {
        EXPECT_EQ(sim::Calls().size(), static_cast<size_t>(kRegistryCleanupCount))
            << "every row is tried whatever failed";
        EXPECT_EQ(Output(), "");
      });
  std::printf("registry: %d fault trials\n", trials);
}

}  // namespace
