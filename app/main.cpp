#include "VelmarVersion.h"
#include "window/CZarvoManApp.h"

#include <QIcon>
#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
    // Answered before the application starts: asking for the version needs
    // neither a display nor a socket.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("velmar %.*s\n", static_cast<int>(velmar::kVersion.size()),
                    velmar::kVersion.data());
        return 0;
    }
    velmar::CZarvoManApp app(argc, argv);
    // The installed desktop entry and icon carry this name; desktops use it to
    // match the window to its menu entry.
    velmar::CZarvoManApp::setDesktopFileName(QStringLiteral("org.velmar.Velmar"));
    velmar::CZarvoManApp::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.velmar.Velmar")));
    return app.run();
}
