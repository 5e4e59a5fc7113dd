#include "runtime/datfile/maintenance_points.h"

namespace zuna::datfile {
namespace {

MaintenanceHook maintenance_hook = nullptr;

}  // namespace

void SetMaintenanceHook(MaintenanceHook hook) { maintenance_hook = hook; }

void ReachedMaintenancePoint(MaintenancePoint point) {
  if (maintenance_hook != nullptr) maintenance_hook(point);
}

}  // namespace zuna::datfile
