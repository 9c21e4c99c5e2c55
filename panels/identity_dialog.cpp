#include "panels.h"

// Handlers arrive with the panel's own change.
void IdentityDialogInit(Session &) {}
bool IdentityDialogCommand(Session &s, int id)
{
    if (id == 2) {
        s.port.EndDialog(Window::Identity, 0);
        return true;
    }
    return false;
}
