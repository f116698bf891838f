#include "app/component_wiring.h"

#include <cstdio>

#include "app/unavailable_components.h"

#ifdef _WIN32
#include "core/settings/registry_settings_store.h"
#else
#include "core/settings/ini_settings_store.h"
#endif
#ifdef DORVANE_HAVE_JET
#include "engines/jet/jet_engine.h"
#endif
#ifdef DORVANE_HAVE_ODBC
#include "engines/odbc/odbc_client.h"
#endif
#ifdef DORVANE_HAVE_QT
#include "ui/qt/show_window.h"
#endif
#ifdef DORVANE_HAVE_WIN32_UI
#include "ui/win32/show_window.h"
#endif
#ifdef DORVANE_WINDOW_FROM_PROGRAM
#include "app/window_program.h"
#endif

namespace dorvane {

std::unique_ptr<SettingsStore> MakeSettingsStore() {
#ifdef _WIN32
    return std::make_unique<RegistrySettingsStore>();
#else
    return std::make_unique<IniSettingsStore>(IniSettingsStore::DefaultPath());
#endif
}

std::unique_ptr<FileDatabaseEngine> MakeFileDatabaseEngine() {
#ifdef DORVANE_HAVE_JET
    return jet::MakeEngine();
#else
    return MakeUnavailableFileDatabaseEngine();
#endif
}

std::unique_ptr<SqlClient> MakeSqlClient() {
#ifdef DORVANE_HAVE_ODBC
    return odbc::MakeSqlClient();
#else
    return MakeUnavailableSqlClient();
#endif
}

ShowWindowFn MakeShowWindow([[maybe_unused]] const std::vector<std::string>& arguments) {
#if defined(DORVANE_HAVE_QT)
    return [](Runtime& rt) { return qtui::ShowMainWindow(rt); };
#elif defined(DORVANE_HAVE_WIN32_UI)
    return [](Runtime& rt) { return win32ui::ShowMainWindow(rt); };
#elif defined(DORVANE_WINDOW_FROM_PROGRAM)
    return HandOverToWindowProgram(arguments);
#else
    return [](Runtime&) {
        std::fputs(
            "dorvane: this build has no window; start it with /silent and a product name, "
            "for example: dorvane /silent /Bresk\n",
            stderr);
        return false;
    };
#endif
}

}  // namespace dorvane
