#include "formats/Formats.h"

#include "codec/Registry.h"

#include "codec/Ppm.h"
#include "formats/hpgl/hpgl_2.h"

#include <mutex>

void InitializeFormats() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Classes of the codec library; their extensions come from the start-up table.
        RegisterGraphicClass(TPPMGraphic::StaticClass());

        // The program's own format modules register their extensions themselves.
        RegisterHpglFormats();

        RegisterStartupTable();
    });
}
