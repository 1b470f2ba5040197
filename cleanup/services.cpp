#include "cleanup/cleanup.h"

// Opens the named service with exactly the rights asked, through a connection
// of its own. On success both handles are returned; on failure none stays open.
static SC_HANDLE OpenProductService(const char* serviceName, DWORD access, SC_HANDLE* manager) {
  *manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!*manager) return nullptr;
  SC_HANDLE service = OpenServiceA(*manager, serviceName, access);
  if (!service) {
    const DWORD error = GetLastError();
    CloseServiceHandle(*manager);
    SetLastError(error);
  }
  return service;
}

// The last error stays that of the call that failed before.
static void CloseProductService(SC_HANDLE service, SC_HANDLE manager) {
  const DWORD error = GetLastError();
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  SetLastError(error);
}

bool StopServiceByName(const char* serviceName) {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = OpenProductService(serviceName, SERVICE_STOP, &manager);
  if (!service) return false;
  SERVICE_STATUS status = {};
  const bool stopped = ControlService(service, SERVICE_CONTROL_STOP, &status) != FALSE;
  CloseProductService(service, manager);
  return stopped;
}

bool DeleteServiceByName(const char* serviceName) {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = OpenProductService(serviceName, DELETE, &manager);
  if (!service) return false;
  const bool marked = DeleteService(service) != FALSE;
  CloseProductService(service, manager);
  return marked;
}

bool QueryServiceState(const char* serviceName, DWORD* state) {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = OpenProductService(serviceName, SERVICE_QUERY_STATUS, &manager);
  if (!service) return false;
  SERVICE_STATUS status = {};
  const bool queried = QueryServiceStatus(service, &status) != FALSE;
  *state = status.dwCurrentState;
  CloseProductService(service, manager);
  return queried;
}

// A change that changes nothing: refused with 1072 once the service is
// marked, accepted before. Status, configuration and registry do not tell.
bool IsServiceMarked(const char* serviceName, bool* marked) {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = OpenProductService(serviceName, SERVICE_CHANGE_CONFIG, &manager);
  if (!service) return false;
  const bool changed =
      ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE;
  const bool answered = changed || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
  *marked = !changed && answered;
  CloseProductService(service, manager);
  return answered;
}
