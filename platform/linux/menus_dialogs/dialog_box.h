// Modal dialogs built from the template data with FLTK widgets.
#pragma once

#include "resources/dialog_templates.h"

// Where DialogBoxParamA looks templates up; null restores findDialogTemplate.
// Tests use it to open templates of their own.
typedef const DialogTemplate* (*DialogTemplateSource)(WORD id);
void setDialogTemplateSourceForTests(DialogTemplateSource source);
