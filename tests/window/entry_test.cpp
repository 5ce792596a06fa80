// libpartlist.so loaded by a host that has no toolkit of its own: the window made with the
// library's own application object, and the refusal when there is no display. The host's hand
// (hostdriver.cpp, loaded after the library) clicks the window's buttons as a user would.
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <clocale>

#include <filesystem>
#include <string>

// The library's own application object lives until the process ends; fontconfig, which it
// loads, loses a few blocks of its configuration at its first use (a known fontconfig leak that
// the library cannot free).
extern "C" const char *__lsan_default_suppressions(); // LeakSanitizer's hook
extern "C" [[gnu::visibility("default")]] const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

namespace fs = std::filesystem;

using CreateFn = int (*)(const char *, const char *, const char *);
using DestroyFn = void (*)();

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The host itself has no toolkit loaded.
        ASSERT_EQ(dlopen("libQt6Core.so.6", RTLD_NOW | RTLD_NOLOAD), nullptr);
        dir = testsupport::makedir("/tmp/window_host.XXXXXX");
        ASSERT_FALSE(dir.empty());
        testsupport::privatesettings(dir);
        setenv("XDG_RUNTIME_DIR", WINDOW_RUNTIME_DIR, 0);
        lib = dlopen(PARTLIST_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        driver = dlopen(HOSTDRIVER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(driver, nullptr) << dlerror();
        create = reinterpret_cast<CreateFn>(dlsym(lib, "CreatePartList"));
        destroy = reinterpret_cast<DestroyFn>(dlsym(lib, "DestroyPartList"));
        ASSERT_NE(create, nullptr);
        ASSERT_NE(destroy, nullptr);
    }
    void TearDown() override {
        // The library stays loaded (it may own the application object); dlclose is harmless.
        if (lib) dlclose(lib);
        fs::remove_all(dir);
    }

    fs::path dir;
    void *lib = nullptr;
    void *driver = nullptr;
    CreateFn create = nullptr;
    DestroyFn destroy = nullptr;
};

TEST_F(HostTest, WindowRunsOnTheLibrarysOwnApplicationAndDestroyDeletesTheReport) {
    fs::copy(fs::path(PARTLIST_SOURCE_DIR) / "examples/amp", dir);
    fs::current_path(dir);
    const std::string profile = (dir / "vantrell.ini").string();
    testsupport::writefile(profile, "[VANTRELL]\nBillOfMaterialsPath=" + dir.string() +
                                        "\n[BillOfMaterials]\nDravoniteSettings=dic\n");
    setenv("VANTRELL_PROFILE", profile.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("HOSTDRIVER_BUTTON", "1", 1); // Close

    setenv("LC_ALL", "C.UTF-8", 1);

    const fs::path report = dir / "temp.out";
    EXPECT_EQ(create((dir / "top.sch").c_str(), "csi", "."), 1);
    // The application object the library made left the host's locale as it was.
    EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
    EXPECT_EQ(testsupport::readfile(report),
              testsupport::readfile(fs::path(PARTLIST_SOURCE_DIR) / "examples/expected.out"));
    // Closed as Close would: the settings in effect are saved.
    EXPECT_EQ(testsupport::readfile(profile), "[VANTRELL]\nBillOfMaterialsPath=" + dir.string() +
                                                  "\n[BillOfMaterials]\nDravoniteSettings=dic\n"
                                                  "Length=40\n");
    destroy();
    EXPECT_FALSE(fs::exists(report));
    destroy(); // a second release does nothing

    // The application object made the first time serves the next window too.
    setenv("HOSTDRIVER_BUTTON", "2", 1); // Cancel
    EXPECT_EQ(create((dir / "top.sch").c_str(), "suc", "."), 1);
    EXPECT_TRUE(fs::exists(report));
    destroy();
    EXPECT_FALSE(fs::exists(report));
}

TEST_F(HostTest, NoDisplayRefusesWithOneLineInsteadOfEndingTheHost) {
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("WAYLAND_DISPLAY");
    setenv("DISPLAY", ":87", 1); // no server there
    testing::internal::CaptureStderr();
    EXPECT_EQ(create("top.sch", "csi", "."), 0);
    destroy(); // no window: nothing to do
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testsupport::occurrences(said, "\n"), 1) << said;
    EXPECT_NE(said.find("DISPLAY=:87"), std::string::npos) << said;

    unsetenv("DISPLAY");
    testing::internal::CaptureStderr();
    EXPECT_EQ(create("top.sch", "csi", "."), 0);
    EXPECT_EQ(testsupport::occurrences(testing::internal::GetCapturedStderr(), "\n"), 1);
}

} // namespace
