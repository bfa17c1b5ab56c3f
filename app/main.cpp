// Process entry: the toolkit creates MyApp and runs its event loop.
#include "surface/pair_read_ahead.h"

#include <wx/app.h>

int main(int argc, char** argv)
{
    const int status = wxEntry(argc, argv);
    // A command-line batch's first pair may still be being read ahead (MyApp::OnInit).
    finish_reading_ahead();
    return status;
}
