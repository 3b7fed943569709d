#pragma once
// What the configuration dialog may do to the catalogue: read the entry that holds the list's
// focus, change its scheme column and rename it. The main window's list (CatalogueList)
// implements it; the dialog knows nothing else of the window.
#include <QString>

namespace tapeloom {
struct CatalogueEntry;
}

class CatalogueEditor {
  public:
    virtual ~CatalogueEditor() = default;

    // The focused entry, or nullptr when no row holds the focus.
    virtual const tapeloom::CatalogueEntry* focusedEntry() const = 0;
    // The scheme column of the focused row only; the dialog writes the settings itself.
    virtual void setFocusedScheme(const QString& scheme) = 0;
    // The rename rule of the list (cut to 15, written as Filename), for the focused row.
    virtual void renameFocused(const QString& name) = 0;
};
