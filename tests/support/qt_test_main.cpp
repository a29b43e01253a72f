// Entry of widget tests: a QApplication for the whole run, then every test.
#include <QApplication>
#include <QLocale>

#include <gmock/gmock.h>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

namespace {

// The leak checker names a leak's library only if it is still loaded at exit.
// The GL driver is unloaded with the display, so every library is kept,
// letting scripts/lsan.supp match the system libraries' own leaks by name.
void KeepLibrariesLoaded()
{
    std::vector<std::string> names;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            if (info->dlpi_name && *info->dlpi_name)
                static_cast<std::vector<std::string>*>(out)->emplace_back(info->dlpi_name);
            return 0;
        },
        &names);
    for (const std::string& name : names)
        dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

} // namespace
#endif

int main(int argc, char** argv)
{
    // Tests that care about number formats set their own locale.
    QLocale::setDefault(QLocale::c());
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    const int failed = RUN_ALL_TESTS();
#if defined(__SANITIZE_ADDRESS__)
    KeepLibrariesLoaded();
#endif
    return failed;
}
