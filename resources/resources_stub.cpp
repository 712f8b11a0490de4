// Placeholder until the resource tables are generated.
#include "resources/app_icon.h"
#include "resources/dialog_templates.h"

const DialogTemplate* findDialogTemplate(WORD) { return nullptr; }
IconPixels appIconPixels(int size) { return IconPixels{size, nullptr}; }
