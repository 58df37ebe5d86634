// See options_test_support.h.
#include "options_test_support.h"

#include "app/app.h"
#include "state/app_state.h"
#include "options/options.h"

const OptionsClassesForTests& optionsClassesForTests() {
    static const OptionsClassesForTests classes = [] {
        app.instance = GetModuleHandleA(nullptr);
        app.exeFolder = moduleFolder(); // checkmark.bmp is made beside the test programs
        app.arrowCursor = LoadCursorA(nullptr, IDC_ARROW);
        OptionsClassesForTests made;
        // The program's own icon, as start-up passes it (a picture of the window shows it).
        made.icon = static_cast<HICON>(LoadImageA(nullptr, (app.exeFolder + "icon.ico").c_str(), IMAGE_ICON, 0, 0,
                                                  LR_LOADFROMFILE | LR_DEFAULTSIZE));
        made.registered = registerOptionsClasses(made.icon);
        return made;
    }();
    return classes;
}
