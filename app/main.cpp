// Process entry: the toolkit creates MyApp and runs its event loop.
#include <wx/app.h>

int main(int argc, char** argv) { return wxEntry(argc, argv); }
