// The demo's record of its steps.
#include "demo_timeline.h"

#include "testkit.h"

namespace demo {

namespace {

// Keeps a field on its line of the table.
std::string Field(std::string text)
{
    for (char &c : text)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return text;
}

}  // namespace

Timeline::Timeline()
{
    // build/<preset>/demo: each bitness records its run beside its own build.
    folder_ = testkit::ExeDir() + "..\\demo";
    CreateDirectoryA(folder_.c_str(), nullptr);
    file_ = std::fopen((folder_ + "\\steps.tsv").c_str(), "wb");
    if (file_ != nullptr)
        std::fputs("step\ttitle\tresult\tms\tscreenshot\tdetail\n", file_);
}

Timeline::~Timeline()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

bool Timeline::Step(const std::string &title, const std::function<void()> &action, const std::function<bool()> &done,
                    const std::function<HWND()> &shot, const std::string &detail)
{
    ++steps_;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    action();
    bool held = done();
    QueryPerformanceCounter(&end);
    double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    testkit::PumpMessages(150);  // let the windows of the step paint before the picture
    char name[32];
    std::snprintf(name, sizeof name, "demo_%02d", steps_);
    std::string picture = testkit::SaveScreenshot(shot ? shot() : nullptr, name);
    if (!held)
        ++failures_;
    std::printf("demo: step %d %-58s %s %8.0f ms\n", steps_, title.c_str(), held ? "ok    " : "FAILED", ms);
    std::fflush(stdout);
    if (file_ != nullptr) {
        std::fprintf(file_, "%d\t%s\t%s\t%.0f\t%s\t%s\n", steps_, Field(title).c_str(), held ? "ok" : "FAILED", ms,
                     Field(picture).c_str(), Field(detail).c_str());
        std::fflush(file_);
    }
    return held;
}

}  // namespace demo
