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

static bool OnItsWay(const ServiceTrace& trace, DWORD state) {
  return (trace.markedBefore || trace.marked || trace.markError == ERROR_SERVICE_MARKED_FOR_DELETE) &&
         (state == SERVICE_RUNNING || state == SERVICE_STOP_PENDING);
}

// The one rule for both modes: `error` and `state` are the service's after
// the step (1060 once it is gone).
static Judgement JudgeService(const ServiceTrace& trace, DWORD error, DWORD state) {
  if (error == ERROR_SERVICE_DOES_NOT_EXIST)
    return {trace.error == ERROR_SERVICE_DOES_NOT_EXIST ? kAbsent : kRemoved, L"", 0};
  if (error != 0) return {kFailed, L"", error};
  if (OnItsWay(trace, state)) return {kPending, L"deleted when it stops", 0};
  return {kFailed, L"",
          trace.marked || trace.markedBefore ? ERROR_SERVICE_MARKED_FOR_DELETE : trace.markError};
}

void ReportServices(RunRecord& record, const ServiceTrace (&traces)[kProductServiceCount]) {
  for (const ServiceTrace& trace : traces) {
    DWORD error = trace.error, state = trace.state;
    if (!record.preview) {
      error = QueryServiceState(trace.name, &state) ? 0 : GetLastError();
    } else if (error == 0 && !trace.markedBefore) {
      error = ERROR_SERVICE_DOES_NOT_EXIST;  // this run would mark it: it goes, now or when it stops
    }
    AddJudgement(record, L"service", Widen(trace.name), JudgeService(trace, error, state));
  }
}

std::vector<std::string> ServicesGoneAtOnce(const ServiceTrace (&traces)[kProductServiceCount]) {
  std::vector<std::string> gone;
  for (const ServiceTrace& trace : traces) {
    const bool stops = trace.state == SERVICE_STOPPED || strcmp(trace.name, ProductDriverService) == 0;
    if (trace.error == 0 && !trace.markedBefore && stops) gone.push_back(trace.name);
  }
  return gone;
}
