// The service control manager: names matched without regard to case; a
// service marked for deletion goes once it is stopped and no handle remains.
#include "state.h"

namespace sim {

static Service* FindService(const std::string& name) {
  for (Service& service : TheWorld().services) {
    if (Upper(service.name) == Upper(name)) return &service;
  }
  return nullptr;
}

static void RemoveIfGone(const std::string& name) {
  auto& services = TheWorld().services;
  for (auto it = services.begin(); it != services.end(); ++it) {
    if (Upper(it->name) == Upper(name) && it->marked && !it->running && it->openHandles == 0) {
      services.erase(it);
      RemoveKeyTree(HKEY_LOCAL_MACHINE,
                    "SYSTEM\\CurrentControlSet\\Services\\" + name);  // its key goes with it
      return;
    }
  }
}

void InstallService(const std::string& name, ServiceSetup setup) {
  Service service;
  service.name = name;
  service.setup = setup;
  service.running = setup.running;
  TheWorld().services.push_back(service);
}

bool ServiceExists(const std::string& name) {
  return FindService(name) != nullptr;
}

bool ServiceRunning(const std::string& name) {
  Service* service = FindService(name);
  return service && service->running;
}

bool ServiceMarkedForDeletion(const std::string& name) {
  Service* service = FindService(name);
  return service && service->marked;
}

std::vector<std::string> AllServices() {
  std::vector<std::string> all;
  for (const Service& service : TheWorld().services) {
    all.push_back(service.name + (service.running ? " running" : " stopped") +
                  (service.marked ? " marked" : ""));
  }
  return all;
}

void StopServiceExternally(const std::string& name) {
  if (Service* service = FindService(name)) service->running = service->stopPending = false;
  RemoveIfGone(name);
}

void HoldService(const std::string& name, bool held) {
  if (Service* service = FindService(name)) service->openHandles += held ? 1 : -1;
  RemoveIfGone(name);
}

}  // namespace sim

using sim::TheWorld;

static SC_HANDLE NewHandle(const std::string& service, DWORD access = 0) {
  const uintptr_t value = TheWorld().nextHandle++;
  TheWorld().serviceHandles[value] = service;
  TheWorld().serviceAccess[value] = access;
  return reinterpret_cast<SC_HANDLE>(value);
}

// The service behind a service handle, or null for a manager or a stale handle.
static sim::Service* ServiceOf(SC_HANDLE handle) {
  auto it = TheWorld().serviceHandles.find(reinterpret_cast<uintptr_t>(handle));
  if (it == TheWorld().serviceHandles.end() || it->second.empty()) return nullptr;
  return sim::FindService(it->second);
}

SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) {
  sim::CallEntry call("OpenSCManagerA", [&] {
    return std::string(machine ? machine : "null") + ", " + (database ? database : "null") + ", " +
           sim::Hex(access);
  });
  if (call.Failed()) return nullptr;
  sim::CountOpen(sim::HandleKind::ServiceManager);
  return NewHandle("");
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) {
  sim::CallEntry call("OpenServiceA", [&] { return std::string(name) + ", " + sim::Hex(access); });
  if (call.Failed()) return nullptr;
  auto it = TheWorld().serviceHandles.find(reinterpret_cast<uintptr_t>(manager));
  if (it == TheWorld().serviceHandles.end() || !it->second.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  sim::Service* service = sim::FindService(name);
  if (!service) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  if (((access & SERVICE_STOP) && !service->setup.mayStop) ||
      ((access & DELETE) && !service->setup.mayDelete)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  ++service->openHandles;
  sim::CountOpen(sim::HandleKind::Service);
  return NewHandle(service->name, access);
}

BOOL ControlService(SC_HANDLE handle, DWORD control, LPSERVICE_STATUS status) {
  sim::CallEntry call("ControlService", [&] { return std::to_string(control); });
  if (call.Failed()) return FALSE;
  sim::Service* service = ServiceOf(handle);
  if (!service || !status) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (control != SERVICE_CONTROL_STOP) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!service->running) {
    SetLastError(ERROR_SERVICE_NOT_ACTIVE);
    return FALSE;
  }
  // Most services stop at once; a slow one reports STOP_PENDING until it does.
  if (service->setup.stopsSlowly) {
    service->stopPending = true;
  } else {
    service->running = false;
  }
  *status = SERVICE_STATUS();
  status->dwCurrentState = SERVICE_STOP_PENDING;
  return TRUE;
}

BOOL DeleteService(SC_HANDLE handle) {
  sim::CallEntry call("DeleteService");
  if (call.Failed()) return FALSE;
  sim::Service* service = ServiceOf(handle);
  if (!service) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (service->marked) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  service->marked = true;
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  auto it = TheWorld().serviceHandles.find(reinterpret_cast<uintptr_t>(handle));
  const bool known = it != TheWorld().serviceHandles.end();
  sim::CallEntry call("CloseServiceHandle", [&] {
    return std::string(!known ? "unknown" : it->second.empty() ? "manager" : "service");
  });
  if (!known) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The handle is released even when the call reports a failure.
  const std::string name = it->second;
  TheWorld().serviceAccess.erase(it->first);
  TheWorld().serviceHandles.erase(it);
  if (name.empty()) {
    sim::CountClose(sim::HandleKind::ServiceManager);
  } else {
    sim::CountClose(sim::HandleKind::Service);
    if (sim::Service* service = sim::FindService(name)) --service->openHandles;
    sim::RemoveIfGone(name);
  }
  if (call.Failed()) {
    SetLastError(call.Error());
    return FALSE;
  }
  return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE handle, LPSERVICE_STATUS status) {
  sim::CallEntry call("QueryServiceStatus");
  if (call.Failed()) return FALSE;
  sim::Service* service = ServiceOf(handle);
  if (!service || !status) return sim::Fail(ERROR_INVALID_HANDLE);
  *status = {};
  status->dwCurrentState = !service->running      ? SERVICE_STOPPED
                           : service->stopPending ? SERVICE_STOP_PENDING
                                                  : SERVICE_RUNNING;
  return TRUE;
}

// As Wine answers a change of nothing: 1072 once the service is marked,
// success before; refused without the right to change the configuration.
BOOL ChangeServiceConfigA(SC_HANDLE handle, DWORD type, DWORD start, DWORD errorControl, LPCSTR binaryPath,
                          LPCSTR loadOrderGroup, DWORD* tagId, LPCSTR dependencies, LPCSTR startName,
                          LPCSTR password, LPCSTR displayName) {
  sim::CallEntry call("ChangeServiceConfigA", [&] { return sim::Hex(type) + ", " + sim::Hex(start); });
  if (call.Failed()) return FALSE;
  sim::Service* service = ServiceOf(handle);
  if (!service) return sim::Fail(ERROR_INVALID_HANDLE);
  if (!(TheWorld().serviceAccess[reinterpret_cast<uintptr_t>(handle)] & SERVICE_CHANGE_CONFIG))
    return sim::Fail(ERROR_ACCESS_DENIED);
  const bool changesSomething = type != SERVICE_NO_CHANGE || start != SERVICE_NO_CHANGE ||
                                errorControl != SERVICE_NO_CHANGE || binaryPath || loadOrderGroup || tagId ||
                                dependencies || startName || password || displayName;
  if (changesSomething) return sim::Fail(ERROR_INVALID_PARAMETER);  // nothing here ever changes a service
  if (service->marked) return sim::Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
  return TRUE;
}
