#include "ui/logic/about_form.h"

#include <exception>

#include "core/database_kind.h"
#include "core/run_control.h"
#include "operations/run_sequence.h"
#include "core/products.h"
#include "core/runtime.h"
#include "core/settings/settings_store.h"
#include "operations/operations.h"
#include "ui/logic/about_texts.h"
#include "ui/logic/about_view.h"
#include "ui/logic/open_folder.h"

namespace dorvane::ui {
namespace {

constexpr const char* kLocations = "Locations";
constexpr const char* kBackupKey = "BKpath";
constexpr const char* kNoBackupFolder = "NA";

// The busy pointer for the lifetime of the object, whatever happens inside.
class BusyPointer {
public:
    explicit BusyPointer(AboutView& view) : view_(view) { view_.SetBusyPointer(true); }
    ~BusyPointer() { view_.SetBusyPointer(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    AboutView& view_;
};

// cmdPath_Click goes on past any failing step.
template <typename Step>
void SkipOnFailure(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

WindowOperations WindowOperations::Program() {
    return WindowOperations{
        [](Runtime& rt) { RunMaintenance(rt); },
        [](Runtime& rt) { WriteScheduleBatch(rt); },
        [](Runtime& rt) { return LookupDocumentPath(rt); },
    };
}

AboutForm::AboutForm(Runtime& rt, AboutView& view, FolderDialog& folders, SysInfoTools sysInfo,
                     WindowOperations operations)
    : rt_(rt), view_(view), folders_(folders), sysInfo_(sysInfo), ops_(std::move(operations)) {}

void AboutForm::Form_Load() {
    if (const auto product = FindProductExact(rt_.ctx.Product)) {
        view_.SelectProduct(std::string(product->Product));
        cmbType_Click();  // a selection raises the list's click at once
    }
    view_.SetCaption(std::string(kWindowCaption));
    view_.SetVersionText(VersionText(ProgramVersion()));
    view_.SetTitleText(TitleText());
    view_.SetDescriptionText(std::string(kFileDescription));
}

void AboutForm::cmbType_Click() {
    RunContext& ctx = rt_.ctx;
    if (const auto product = FindProductExact(view_.SelectedProduct())) {
        ctx.Product = std::string(product->Product);
        ctx.FrontEndFile = std::string(product->FrontEndFile);
    }
    SettingsStore& settings = rt_.settings;
    ReadDatabaseKind(settings, ctx);
    ctx.Dsn = GetSetting(settings, ctx.Product, kLocations, "DSN");
    ctx.DbaseName = GetSetting(settings, ctx.Product, kLocations, "DbaseName");
    ctx.SqlServerName = GetSetting(settings, ctx.Product, kLocations, "sqlServer");
    ctx.AppPath = GetSetting(settings, ctx.Product, kLocations, "APPPATH");
    ctx.BackupPath = GetSetting(settings, ctx.Product, kLocations, kBackupKey, kNoBackupFolder);
    // Only the exact text "NA" means "no folder chosen yet".
    if (ctx.BackupPath == kNoBackupFolder) ctx.BackupPath = ops_.lookupDocumentPath(rt_);
    SaveSetting(settings, ctx.Product, kLocations, kBackupKey, ctx.BackupPath);
    view_.SetInfoText(InfoText(ctx));
    view_.SetLogText(LogText(ctx));
}

void AboutForm::cmdPath_Click() {
    RunContext& ctx = rt_.ctx;
    SkipOnFailure([&] { ctx.BackupPath = BrowseForFolder(folders_, "", kBackupFolderTitle); });
    // A cancelled choice falls back to the product's document folder.
    SkipOnFailure([&] {
        if (ctx.BackupPath.empty()) ctx.BackupPath = ops_.lookupDocumentPath(rt_);
    });
    SkipOnFailure([&] { SaveSetting(rt_.settings, ctx.Product, kLocations, kBackupKey, ctx.BackupPath); });
    SkipOnFailure([&] { cmbType_Click(); });
}

void AboutForm::cmdRun_Click() {
    if (rt_.ctx.DbKind == kNotSetUpKind) {
        rt_.ShowBox(kNotSetUpMessage, BoxIcon::Critical, std::string(kWindowCaption));
        return;
    }
    {
        // The batch file is written and the window closes whatever the
        // operations did; they report their own outcome.
        const BusyPointer busy(view_);
        SkipOnFailure([&] { ops_.runMaintenance(rt_); });
    }
    SkipOnFailure([&] { ops_.writeScheduleBatch(rt_); });
    view_.Close();
}

void AboutForm::cmdOK_Click() { view_.Close(); }

void AboutForm::cmdSysInfo_Click() { StartSysInfo(); }

void AboutForm::StartSysInfo() {
    SilentMessageBoxes noBoxes;
    MessageBoxes& boxes = rt_.boxes != nullptr ? *rt_.boxes : noBoxes;
    ui::StartSysInfo(SysInfoPlatform{sysInfo_.registry, rt_.files, sysInfo_.starter, boxes});
}

}  // namespace dorvane::ui
