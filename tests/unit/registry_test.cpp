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

void Clean() {
  KeyTrace traces[kRegistryCleanupCount];
  CleanRegistry(traces, false);
}

// One deletion a row, in order, each named as the product's keys were written
// down: any dropped, reordered or mistyped row fails here. Every key is there,
// none can be deleted or looked inside, so a whole-tree row is one deletion.
TEST_F(RegistryTest, RowsAreCalledInOrderAsWrittenDown) {
  const std::vector<std::string> rows = {
      "NtDeleteKey(HKCU\\Software\\MirelNetwork\\kVelnoraTelvarine\\TelvarineError)",
      "NtDeleteKey(HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine)",
      "NtDeleteKey(HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane)",
      "NtDeleteKey(HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick)",
      "NtDeleteKey(HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere)",
      "NtDeleteKey(HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin)",
      "NtDeleteKey(HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine)",
      "NtDeleteKey(HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine)",
      "NtDeleteKey(HKCU\\Software\\MIRELNetwork)",
      "NtDeleteKey(HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine)",
      "NtDeleteKey(HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Corvane)",
      "NtDeleteKey(HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Dranwick)",
      "NtDeleteKey(HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Ostermere)",
      "NtDeleteKey(HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Ravelin)",
      "NtDeleteKey(HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine)",
      "NtDeleteKey(HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine)",
      "NtDeleteKey(HKLM\\Software\\MIRELNetwork)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Security)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\KVDRNT2\\Enum)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\KVDRNT2)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\brenserv\\Security)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\brenserv\\Enum)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\brenserv)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Security)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc\\Enum)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\dump_qelrmx)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\TVKernel)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Services\\TVKernel64)",
      "NtDeleteKey(HKLM\\SYSTEM\\ControlSet002\\Services\\kvtlsvc)",
      "NtDeleteKey(HKLM\\SYSTEM\\ControlSet002\\Services\\dump_qelrmx)",
      "NtDeleteKey(HKLM\\SYSTEM\\ControlSet002\\Services\\TVKernel)",
      "NtDeleteKey(HKLM\\SYSTEM\\ControlSet002\\Services\\TVKernel64)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV\\0000)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC\\0000)",
      "NtDeleteKey(HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_KVTLSVC)",
  };
  for (const RegistryCleanupEntry& entry : RegistryCleanupList) sim::CreateKey(entry.hive, entry.keyPath);
  sim::FailCall("NtDeleteKey", ERROR_ACCESS_DENIED, sim::kAlways);
  sim::FailCall("RegEnumKeyExW", ERROR_ACCESS_DENIED, sim::kAlways);
  sim::ClearCalls();
  Clean();
  EXPECT_EQ(sim::CallsNamed("NtDeleteKey"), rows);
  EXPECT_EQ(Output(), "");
}

TEST_F(RegistryTest, UserVendorTreeIsRemovedRowByRow) {
  for (const char* name :
       {"\\TelvarineError", "\\Telvarine", "\\Corvane", "\\Dranwick", "\\Ostermere", "\\Ravelin"}) {
    sim::SetValue(HKEY_CURRENT_USER, kProduct + name, "v", "1");
  }
  sim::SetValue(HKEY_CURRENT_USER, kProduct, "InstallPath", "C:\\Games");
  Clean();
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, "Software\\MIRELNetwork"));
  EXPECT_TRUE(Has(HKEY_CURRENT_USER, "Software"));
}

TEST_F(RegistryTest, ComponentWithSubkeyGoesWithTheTree) {
  sim::CreateKey(HKEY_CURRENT_USER, kProduct + "\\Corvane\\Cache");
  Clean();
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, kProduct));
}

TEST_F(RegistryTest, VendorKeyWithAnotherProductStays) {
  sim::CreateKey(HKEY_CURRENT_USER, kProduct + "\\Telvarine");
  sim::SetValue(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\OtherGame", "v", "1");
  sim::CreateKey(HKEY_LOCAL_MACHINE, kProduct);
  sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\OtherGame\\Sub");
  Clean();
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, kProduct));
  EXPECT_TRUE(Has(HKEY_CURRENT_USER, "Software\\MIRELNetwork\\OtherGame"));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kProduct));
  EXPECT_TRUE(Has(HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork\\OtherGame\\Sub"));
}

TEST_F(RegistryTest, BothSpellingsOfTheVendorNameOneKey) {
  // Created with the spelling of the error key's row; the other rows still find it.
  sim::CreateKey(HKEY_CURRENT_USER, "Software\\MirelNetwork\\kVelnoraTelvarine\\TelvarineError");
  sim::CreateKey(HKEY_CURRENT_USER, "Software\\MirelNetwork\\kVelnoraTelvarine\\Ravelin");
  Clean();
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, "Software\\MirelNetwork"));
}

TEST_F(RegistryTest, MachineErrorKeyGoesWithTheProductTree) {
  sim::CreateKey(HKEY_LOCAL_MACHINE, kProduct + "\\TelvarineError");
  sim::CreateKey(HKEY_LOCAL_MACHINE, kProduct + "\\Telvarine");
  Clean();
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, "Software\\MIRELNetwork"));
  const std::vector<std::string> deletions = sim::CallsNamed("NtDeleteKey");
  EXPECT_EQ(
      std::count(deletions.begin(), deletions.end(), "NtDeleteKey(HKLM\\" + kProduct + "\\TelvarineError)"),
      1)
      << "deleted by the walk: no row of its own";
}

TEST_F(RegistryTest, ServiceKeysWithForeignSubkeysAreKeptUnlessTree) {
  for (const char* service : {"KVDRNT2", "brenserv", "kvtlsvc"}) {
    sim::CreateKey(HKEY_LOCAL_MACHINE, kServices + service + "\\Security");
    sim::CreateKey(HKEY_LOCAL_MACHINE, kServices + service + "\\Enum");
    sim::CreateKey(HKEY_LOCAL_MACHINE, kServices + service + "\\Parameters");
  }
  Clean();
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
  Clean();
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
  Clean();
  EXPECT_FALSE(Has(HKEY_CURRENT_USER, kProduct + "\\Telvarine"));
  EXPECT_TRUE(Has(HKEY_CURRENT_USER, kProduct + "\\Corvane"));
  EXPECT_FALSE(Has(HKEY_LOCAL_MACHINE, kServices + "TVKernel"));
  EXPECT_EQ(Output(), "");
}

// A registry link among the product's keys is removed as itself, in its own
// row, and nothing below it is opened: another program's key that it names
// stays whole, in a preview and in a real run.
TEST_F(RegistryTest, LinksAreRemovedAsThemselvesNeverFollowed) {
  const struct {
    const char* name;
    HKEY hive;
    std::string link;
    std::vector<std::string> lines;  // a real run's; a preview says "would remove" for "removed"
  } cases[] = {
      {"AtAListedKey",
       HKEY_LOCAL_MACHINE,
       kProduct + "\\Telvarine",
       {"removed key HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine (a link, removed as "
        "itself)"}},
      {"InsideATreeRow",
       HKEY_LOCAL_MACHINE,
       kServices + "TVKernel\\Parameters",
       {"removed key HKLM\\SYSTEM\\CurrentControlSet\\Services\\TVKernel"}},
      {"AboveListedKeys",
       HKEY_CURRENT_USER,
       kProduct,
       {"absent  key HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine\\Telvarine (below a link)",
        "removed key HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine (a link, removed as itself)"}},
  };
  const std::string other = "Software\\OtherVendor";
  for (const auto& c : cases) {
    for (const bool preview : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (preview ? " preview" : " run"));
      Restart();
      sim::SetValue(c.hive, other + "\\Telvarine\\Profiles", "v", "1");
      sim::MakeKeyLink(c.hive, c.link, c.hive, other + (c.hive == HKEY_CURRENT_USER ? "" : "\\Telvarine"));
      sim::MakeDirectory(L"C:\\TvLog");
      const std::vector<std::string> before = sim::AllKeys();
      RunTool(preview ? L"-s -n -l C:\\TvLog\\r.log" : L"-s -l C:\\TvLog\\r.log");
      const std::vector<std::string> after = sim::AllKeys();
      for (const std::string& key : before) {
        if (key.find(" -> ") == std::string::npos && key.find("\\OtherVendor") != std::string::npos) {
          EXPECT_EQ(std::count(after.begin(), after.end(), key), 1) << key;
        }
      }
      EXPECT_EQ(Has(c.hive, c.link), preview);
      const std::string log = sim::FileContent(L"C:\\TvLog\\r.log");
      for (std::string line : c.lines) {
        if (preview && line.rfind("removed ", 0) == 0) line.replace(0, 7, "would remove");
        EXPECT_NE(log.find(line + "\r\n"), std::string::npos) << line << "\n" << log;
      }
    }
  }
}

using RegistryFaultSweepTest = SimTest;

TEST_F(RegistryFaultSweepTest, EveryFaultPoint) {
  const int trials = Sweep(
      StageRegistry, [] { Clean(); },
      {"HKCU\\Software\\MIRELNetwork\\kVelnoraTelvarine", "HKLM\\Software\\MIRELNetwork\\kVelnoraTelvarine",
       "HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvtlsvc",
       "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_BRENSERV"},
      [&](const Trial&) {
        size_t rows = 0;  // each row opens its system key once, by path
        for (const std::string& call : sim::CallsNamed("RegOpenKeyExW")) {
          rows += call.rfind("RegOpenKeyExW(HKCU, ", 0) == 0 || call.rfind("RegOpenKeyExW(HKLM, ", 0) == 0;
        }
        EXPECT_EQ(rows, static_cast<size_t>(kRegistryCleanupCount)) << "every row is tried whatever failed";
        EXPECT_EQ(Output(), "");
      });
  std::printf("registry: %d fault trials\n", trials);
}

}  // namespace
