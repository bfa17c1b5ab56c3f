#include "fuzz/fuzz_support.h"

#include "state/working_state.h"
#include "tests/fixtures/generated_surfaces.h"
#include "tests/registration/pair_fixture.h"

#include <wx/log.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

void abort_on_assert(const wxString& file, int line, const wxString&, const wxString& condition,
                     const wxString& message)
{
    std::fprintf(stderr, "assertion \"%s\" failed at %s:%d: %s\n", condition.utf8_string().c_str(),
                 file.utf8_string().c_str(), line, message.utf8_string().c_str());
    std::abort();
}

void remove_fuzz_directory()
{
    std::error_code ignored;
    std::filesystem::remove_all(fuzz_directory(), ignored);
}

} // namespace

void prepare_fuzzing()
{
    static const bool prepared = [] {
        wxSetAssertHandler(abort_on_assert);
        wxLog::EnableLogging(false);
        // The directory's name first, so that it outlives the handler that removes it.
        fuzz_directory();
        std::atexit(remove_fuzz_directory);
        return true;
    }();
    (void)prepared;
}

const std::string& fuzz_directory()
{
    static const std::string directory = [] {
        const char* base = std::getenv("TMPDIR");
        std::string path = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                           "/kelvorand-fuzz-" + std::to_string(::getpid());
        std::filesystem::create_directories(path);
        return path;
    }();
    return directory;
}

std::string input_file(const std::uint8_t* data, std::size_t size, const std::string& name)
{
    const std::string path = fuzz_directory() + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort(); // the fuzzer cannot work without its input files
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
    return path;
}

WorkingState& loaded_pair()
{
    static WorkingState state;
    static const bool loaded = [] {
        load_pair(state, octahedron(5.0), octahedron(6.0));
        state.lr_surface->path_stem = fuzz_directory() + "/lr";
        state.lr_surface->name = "lr";
        state.lr_surface->file_type = ".ply";
        state.hr_surface->name = "hr";
        return true;
    }();
    (void)loaded;
    return state;
}
