// Handlers and functions that are not built yet: each does nothing visible until its real
// definition replaces it. One group per concept; delete a group when its concept lands.
#include "app/app.h"
#include "app/frame.h"
#include "view/gl_canvas.h"
#include "view/gldraw.h"

#include <wx/log.h>
