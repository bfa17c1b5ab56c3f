// Process entry: the toolkit creates MyApp and runs its event loop. The first pair of a
// command-line batch is read meanwhile.
#include "surface/pair_read_ahead.h"

#include <wx/app.h>

int main(int argc, char** argv)
{
    if (argc == 2)
        start_reading_ahead(argv[1]);
    const int status = wxEntry(argc, argv);
    finish_reading_ahead();
    return status;
}
