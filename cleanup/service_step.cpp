#include "cleanup/cleanup.h"

void NoteServices(ServiceTrace (&traces)[kProductServiceCount]) {
  for (int i = 0; i < kProductServiceCount; ++i) {
    ServiceTrace& trace = traces[i];
    trace = {ProductServices[i], 0, 0, false, false, 0};
    if (!QueryServiceState(trace.name, &trace.state)) {
      trace.error = GetLastError();
      continue;
    }
    // A marked service that is still running goes when it stops: not known
    // to be marked is taken as not marked.
    IsServiceMarked(trace.name, &trace.markedBefore);
  }
}

void RemoveServices(ServiceTrace (&traces)[kProductServiceCount]) {
  StopServiceByName(ProductDriverService);
  for (ServiceTrace& trace : traces) {
    trace.marked = DeleteServiceByName(trace.name);
    trace.markError = trace.marked ? 0 : GetLastError();
  }
}

static bool IsMarked(const ServiceTrace& trace) {
  return trace.markedBefore || trace.marked || trace.markError == ERROR_SERVICE_MARKED_FOR_DELETE;
}

// The step stops the driver, so a preview takes it as stopped: unmarked, it
// goes when this run marks it; marked before and running, once it stops. A
// marked service that is already stopped and still listed is held by a
// handle, which the step does not change.
static bool GoesInTheStep(const ServiceTrace& trace) {
  const bool driver = strcmp(trace.name, ProductDriverService) == 0;
  if (trace.error != 0) return false;
  if (trace.markedBefore) return driver && trace.state != SERVICE_STOPPED;
  return driver || trace.state == SERVICE_STOPPED;
}

// The one rule for both modes: `error` and `state` are the service's after
// the step (1060 once it is gone). A marked service goes when it has stopped
// and the last handle to it is closed (another program's, the Services
// console's, or the service manager's own while a loaded machine catches up).
static Judgement JudgeService(const ServiceTrace& trace, DWORD error, DWORD state) {
  if (error == ERROR_SERVICE_DOES_NOT_EXIST)
    return {trace.error == ERROR_SERVICE_DOES_NOT_EXIST ? kAbsent : kRemoved, L"", 0};
  if (error != 0) return {kFailed, L"", error};
  if (IsMarked(trace)) {
    return {
        kPending,
        state == SERVICE_STOPPED ? L"deleted when the last handle to it closes" : L"deleted when it stops",
        0};
  }
  return {kFailed, L"", trace.markError};
}

void ReportServices(RunRecord& record, const ServiceTrace (&traces)[kProductServiceCount]) {
  for (const ServiceTrace& trace : traces) {
    DWORD error = trace.error, state = trace.state;
    if (!record.preview) {
      error = QueryServiceState(trace.name, &state) ? 0 : GetLastError();
    } else if (error == 0 && (!trace.markedBefore || GoesInTheStep(trace))) {
      // This run would mark it, or stop it: it goes, now or when it stops.
      error = ERROR_SERVICE_DOES_NOT_EXIST;
    }
    AddJudgement(record, L"service", Widen(trace.name), JudgeService(trace, error, state));
  }
}

std::vector<std::string> ServicesGoneAtOnce(const ServiceTrace (&traces)[kProductServiceCount]) {
  std::vector<std::string> gone;
  for (const ServiceTrace& trace : traces) {
    if (GoesInTheStep(trace)) gone.push_back(trace.name);
  }
  return gone;
}
