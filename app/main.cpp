#include "link/CZarvoManApp.h"

int main(int argc, char** argv) {
    velmar::CZarvoManApp app(argc, argv);
    return app.run();
}
