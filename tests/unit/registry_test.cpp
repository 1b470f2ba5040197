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

// The rows as written down when the product's keys were listed; any dropped,
// reordered or mistyped row fails here.
TEST_F(RegistryTest, TableIsExactlyTheProductsKeys) {
  const char* rows[] = {
      "CU 1 Software\\MirelNetwork\\kVelnoraTelvarine\\TelvarineError",
      "CU 1 Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine",
      "CU 1 Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane",
      "CU 1 Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick",
      "CU 1 Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere",
      "CU 1 Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin",
      "CU 1 Software\\MIRELNetwork\\kVelnoraTelvarine",
      "CU T Software\\MIRELNetwork\\kVelnoraTelvarine",
      "CU 1 Software\\MIRELNetwork",
      "LM 1 Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine",
      "LM 1 Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane",
      "LM 1 Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick",
      "LM 1 Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere",
      "LM 1 Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin",
      "LM 1 Software\\MIRELNetwork\\kVelnoraTelvarine",
      "LM T Software\\MIRELNetwork\\kVelnoraTelvarine",
      "LM 1 Software\\MIRELNetwork",
      "LM 1 SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Security",
      "LM 1 SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Enum",
      "LM 1 SYSTEM\\CurrentControlSet\\Services\\KVDRNT2",
      "LM 1 SYSTEM\\CurrentControlSet\\Services\\brenserv\\Security",
      "LM 1 SYSTEM\\CurrentControlSet\\Services\\brenserv\\Enum",
      "LM 1 SYSTEM\\CurrentControlSet\\Services\\brenserv",
      "LM 1 SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Security",
      "LM 1 SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Enum",
      "LM 1 SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",
      "LM T SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",
      "LM T SYSTEM\\CurrentControlSet\\Services\\dump_qelrmx",
      "LM T SYSTEM\\CurrentControlSet\\Services\\TVKernel",
      "LM T SYSTEM\\CurrentControlSet\\Services\\TVKernel64",
      "LM T SYSTEM\\ControlSet002\\Services\\kvtlsvc",
      "LM T SYSTEM\\ControlSet002\\Services\\dump_qelrmx",
      "LM T SYSTEM\\ControlSet002\\Services\\TVKernel",
      "LM T SYSTEM\\ControlSet002\\Services\\TVKernel64",
      "LM 1 SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0000",
      "LM 1 SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV",
      "LM 1 SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000",
      "LM 1 SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC",
  };
  ASSERT_EQ(sizeof rows / sizeof rows[0], static_cast<size_t>(kRegistryCleanupCount));
  for (int i = 0; i < kRegistryCleanupCount; ++i) {
    const RegistryCleanupEntry& entry = RegistryCleanupList[i];
    const std::string actual = std::string(entry.hive == HKEY_CURRENT_USER    ? "CU "
                                           : entry.hive == HKEY_LOCAL_MACHINE ? "LM "
                                                                              : "?? ") +
                               (entry.method == KeyOnly ? "1 " : "T ") + entry.keyPath;
    EXPECT_EQ(actual, rows[i]) << "row " << i + 1;
  }
}

TEST_F(RegistryTest, RowsAreCalledInOrderWithTheirMethod) {
  CleanRegistry();
  const std::vector<sim::Call>& calls = sim::Calls();
  ASSERT_EQ(calls.size(), static_cast<size_t>(kRegistryCleanupCount));
  for (int i = 0; i < kRegistryCleanupCount; ++i) {
    const RegistryCleanupEntry& entry = RegistryCleanupList[i];
    EXPECT_EQ(calls[i].name, entry.method == KeyOnly ? "RegDeleteKeyA" : "SHDeleteKeyA");
    EXPECT_EQ(calls[i].args.substr(6), entry.keyPath);
  }
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
      StageRegistry, CleanRegistry,
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
