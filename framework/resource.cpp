// The program's resource table and the lookups by number. A linear search is enough: a program
// has a handful of resources and looks each up once per window.
#include "framework/resource.h"

namespace {
const AfxResourceTable* g_resources = nullptr;  // set by AfxSetResources
}  // namespace

void AfxSetResources(const AfxResourceTable* table) { g_resources = table; }
const AfxResourceTable* AfxGetResources() { return g_resources; }

const AfxDialogTemplate* AfxFindDialogTemplate(UINT id) {
  if (g_resources == nullptr) return nullptr;
  for (const AfxDialogTemplate& t : g_resources->dialogs) {
    if (t.id == id) return &t;
  }
  return nullptr;
}

const AfxMenuTemplate* AfxFindMenu(UINT id) {
  if (g_resources == nullptr) return nullptr;
  for (const AfxMenuTemplate& m : g_resources->menus) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

const AfxIconResource* AfxFindIcon(UINT id) {
  if (g_resources == nullptr) return nullptr;
  for (const AfxIconResource& i : g_resources->icons) {
    if (i.id == id) return &i;
  }
  return nullptr;
}
