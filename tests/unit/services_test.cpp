#include "app/uninstall.h"
#include "cleanup/cleanup.h"
#include "fault_sweep.h"
#include "sim_test.h"

namespace {

using ServicesTest = SimTest;

TEST_F(ServicesTest, StopAsksOnlyForTheStopRight) {
  sim::InstallService("kvdrNT2", {true});
  EXPECT_TRUE(StopServiceByName("kvdrNT2"));
  EXPECT_FALSE(sim::ServiceRunning("kvdrNT2"));
  EXPECT_TRUE(sim::ServiceExists("kvdrNT2"));
  EXPECT_EQ(sim::CallsNamed("OpenSCManagerA"), std::vector<std::string>{"OpenSCManagerA(null, null, 0x1)"});
  EXPECT_EQ(sim::CallsNamed("OpenServiceA"), std::vector<std::string>{"OpenServiceA(kvdrNT2, 0x20)"});
  EXPECT_EQ(sim::CallsNamed("ControlService"), std::vector<std::string>{"ControlService(1)"});
}

TEST_F(ServicesTest, DeleteAsksOnlyForTheDeleteRight) {
  sim::InstallService("brenserv");
  EXPECT_TRUE(DeleteServiceByName("brenserv"));
  EXPECT_FALSE(sim::ServiceExists("brenserv"));
  EXPECT_EQ(sim::CallsNamed("OpenServiceA"), std::vector<std::string>{"OpenServiceA(brenserv, 0x10000)"});
}

TEST_F(ServicesTest, NamesMatchWithoutRegardToCase) {
  sim::InstallService("KVDRNT2");
  EXPECT_TRUE(DeleteServiceByName("kvdrNT2"));
  EXPECT_FALSE(sim::ServiceExists("KVDRNT2"));
}

TEST_F(ServicesTest, StoppedDriverIsStillDeleted) {
  sim::InstallService("kvdrNT2");
  EXPECT_FALSE(StopServiceByName("kvdrNT2"));
  EXPECT_TRUE(DeleteServiceByName("kvdrNT2"));
  EXPECT_FALSE(sim::ServiceExists("kvdrNT2"));
}

TEST_F(ServicesTest, RunningServiceIsMarkedWithoutStopControl) {
  sim::InstallService("kvtlsvc", {true});
  EXPECT_TRUE(DeleteServiceByName("kvtlsvc"));
  EXPECT_TRUE(sim::ServiceRunning("kvtlsvc"));
  EXPECT_TRUE(sim::ServiceMarkedForDeletion("kvtlsvc"));
  EXPECT_TRUE(sim::CallsNamed("ControlService").empty());
  EXPECT_FALSE(DeleteServiceByName("kvtlsvc")) << "a second deletion finds it marked";
  sim::StopServiceExternally("kvtlsvc");
  EXPECT_FALSE(sim::ServiceExists("kvtlsvc"));
}

TEST_F(ServicesTest, MissingServicesGiveFalseAndPrintNothing) {
  EXPECT_FALSE(StopServiceByName("kvdrNT2"));
  EXPECT_FALSE(DeleteServiceByName("kvdrNT2"));
  EXPECT_FALSE(DeleteServiceByName("kvtlsvc"));
  EXPECT_FALSE(DeleteServiceByName("brenserv"));
  EXPECT_EQ(sim::CallsNamed("OpenSCManagerA").size(), 4u) << "one connection per call";
  EXPECT_EQ(sim::CallsNamed("CloseServiceHandle").size(), 4u);
  EXPECT_EQ(Output(), "");
}

TEST_F(ServicesTest, MissingRightsGiveFalseAndChangeNothing) {
  sim::InstallService("kvdrNT2", {true, false, false});
  EXPECT_FALSE(StopServiceByName("kvdrNT2"));
  EXPECT_FALSE(DeleteServiceByName("kvdrNT2"));
  EXPECT_TRUE(sim::ServiceRunning("kvdrNT2"));
  EXPECT_FALSE(sim::ServiceMarkedForDeletion("kvdrNT2"));
}

// Each failure point on each path: every handle that was opened is closed,
// service handle before manager handle.
TEST_F(ServicesTest, NoHandleLeftOpenOnAnyPath) {
  const char* failing[] = {"OpenSCManagerA", "OpenServiceA", "ControlService", "DeleteService", nullptr};
  for (const char* call : failing) {
    for (bool stop : {true, false}) {
      Restart();
      sim::InstallService("kvdrNT2", {true});
      if (call) sim::FailCall(call, ERROR_ACCESS_DENIED);
      const bool result = stop ? StopServiceByName("kvdrNT2") : DeleteServiceByName("kvdrNT2");
      const bool callOnPath = call && (std::string(call) != (stop ? "DeleteService" : "ControlService"));
      EXPECT_EQ(result, !callOnPath) << (call ? call : "none") << (stop ? " stop" : " delete");
      EXPECT_EQ(sim::OpenHandlesTotal(), 0) << (call ? call : "none");
      // Service handle first, then the manager; nothing to close when the manager never opened.
      const std::string failed = call ? call : "";
      std::vector<std::string> expected = {"CloseServiceHandle(service)", "CloseServiceHandle(manager)"};
      if (failed == "OpenServiceA") expected = {"CloseServiceHandle(manager)"};
      if (failed == "OpenSCManagerA") expected.clear();
      EXPECT_EQ(sim::CallsNamed("CloseServiceHandle"), expected) << (call ? call : "none");
    }
  }
}

TEST_F(ServicesTest, TheRunStopsTheDriverAndMarksTheThreeInOrder) {
  sim::InstallService("kvdrNT2", {true});
  sim::InstallService("kvtlsvc", {true});
  sim::InstallService("brenserv");
  sim::InstallService("kvtlsvc2", {true});
  sim::SetCommandLine(L"tvuninst.exe -s");
  EXPECT_EQ(RunUninstall(), 0);
  // Each is asked about before (its state, then whether it is marked already)
  // and after, with the one right each question needs.
  const std::vector<std::string> opened = {
      "OpenServiceA(kvdrNT2, 0x4)",      "OpenServiceA(kvdrNT2, 0x2)",     "OpenServiceA(kvtlsvc, 0x4)",
      "OpenServiceA(kvtlsvc, 0x2)",      "OpenServiceA(brenserv, 0x4)",    "OpenServiceA(brenserv, 0x2)",
      "OpenServiceA(kvdrNT2, 0x20)",     "OpenServiceA(kvdrNT2, 0x10000)", "OpenServiceA(kvtlsvc, 0x10000)",
      "OpenServiceA(brenserv, 0x10000)", "OpenServiceA(kvdrNT2, 0x4)",     "OpenServiceA(kvtlsvc, 0x4)",
      "OpenServiceA(brenserv, 0x4)"};
  EXPECT_EQ(sim::CallsNamed("OpenServiceA"), opened);
  EXPECT_EQ(sim::CallsNamed("ControlService").size(), 1u);
  EXPECT_FALSE(sim::ServiceExists("kvdrNT2"));
  EXPECT_FALSE(sim::ServiceExists("brenserv"));
  EXPECT_TRUE(sim::ServiceRunning("kvtlsvc"));
  EXPECT_TRUE(sim::ServiceRunning("kvtlsvc2"));
  EXPECT_FALSE(sim::ServiceMarkedForDeletion("kvtlsvc2"));
}

using ServicesFaultSweepTest = SimTest;

TEST_F(ServicesFaultSweepTest, EveryFaultPoint) {
  std::vector<bool> results;
  auto step = [&] {
    results = {StopServiceByName("kvdrNT2"), DeleteServiceByName("kvdrNT2"), DeleteServiceByName("kvtlsvc"),
               DeleteServiceByName("brenserv")};
  };
  const int trials =
      Sweep(StageServices, step, {"service kvdrNT2", "service kvtlsvc", "service brenserv"},
            [&](const Trial& trial) {
              const int failed = static_cast<int>(std::count(results.begin(), results.end(), false));
              // Only a failing close leaves every result as it was.
              const bool harmless = trial.failedCall.empty() || trial.failedCall == "CloseServiceHandle";
              EXPECT_EQ(failed, harmless ? 0 : 1);
              EXPECT_EQ(Output(), "");
            });
  std::printf("services: %d fault trials\n", trials);
}

}  // namespace
