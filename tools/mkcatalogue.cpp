// Writes the four empty catalogue files: ZORMain.dbf + ZORMAIN.MDX and ZORDet.dbf + ZORDET.MDX.
// Usage: mkcatalogue [FOLDER]   (default: Data/ below the current directory)
#include "catalogue/catalogue.h"
#include "tables/error.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    std::string folder = argc > 1 ? argv[1] : catalogue::dataFolder();
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    try {
        catalogue::createFiles(folder);
    } catch (const tables::Error &e) {
        std::fprintf(stderr, "mkcatalogue: %s\n", e.what());
        return 1;
    }
    std::printf("written: %sZORMain.dbf, %sZORMAIN.MDX, %sZORDet.dbf, %sZORDET.MDX\n", folder.c_str(), folder.c_str(),
                folder.c_str(), folder.c_str());
    return 0;
}
