#include "ui/properties_dialog.h"

// The dialog itself is not built yet: until it is, a start that needs it ends
// as a Cancel does, without saving and without opening the port.
INT_PTR runPropertiesDialog() {
    return 2;
}
