#include "BrowserPanel.h"

// Printing lives in its own change; until then the entry does nothing.
void TBrowserPanel::btnTransMore_PrintClick() {}
