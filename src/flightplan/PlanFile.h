#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "flightplan/FlightPlan.h"

namespace tavoro {

class IniFile;

// What an open dialog asks: its title, the folder it starts in and its filter (Qt's form).
struct FileDialogRequest {
    std::string title;
    std::string folder;
    std::string filter;
};

// Shows an open dialog: the chosen file's full path, nothing when the user cancelled.
using ChooseFile = std::function<std::optional<std::string>(const FileDialogRequest&)>;

// The filter of every plan-file dialog. The files come from Windows, where the extension's
// letter case does not count, so both spellings are listed.
inline constexpr std::string_view kPlanFileFilter = "pln files (*.pln *.PLN)";
// The title of the dialog that asks where a plan named by the simulator is.
inline constexpr std::string_view kMissingPlanDialogTitle = "path to flightplan";
inline constexpr std::string_view kNotConformingMessage = "plan de vol non conforme";
// Followed by the name given, when the file is found nowhere and no folder was picked.
inline constexpr std::string_view kPlanNotFoundMessage = "Plan de vol introuvable : ";

// What a load may reach beyond the file: the configuration, whose [FSX_plan] path is read
// afresh when the file is missing and written when the user picks another folder, and the
// dialog that asks for the folder. Without a configuration the remembered folder reads as
// a missing key would; without a dialog the question counts as cancelled.
struct PlanFileAccess {
    IniFile* config = nullptr;
    ChooseFile choose_file;
    std::string dialog_folder;
};

enum class PlanFileForm { None, Xml, Ini };

enum class PlanLoadStatus {
    Loaded,            // the plan is in the record
    NotConforming,     // neither form: nothing changed
    Unreadable,        // found nowhere, or it could not be opened or read: nothing changed
    ConversionFailed,  // the cruising altitude is no number: the load stopped there
};

struct PlanLoadResult {
    PlanLoadStatus status = PlanLoadStatus::Loaded;
    PlanFileForm form = PlanFileForm::None;
    // What to tell the user when the status is not Loaded.
    std::string message;
    // The file that was read, which the fallback may have put in place of the name given.
    std::string path;
    // The folder picked in the fallback dialog could not be written to the configuration.
    bool config_unwritable = false;

    bool loaded() const { return status == PlanLoadStatus::Loaded; }
};

// Reads the plan file `name` into `plan`, in the XML form or the INI form, as the load
// button and the plan-file check do.
//
// A name that is no file is looked for in the remembered folder, then asked for with the
// "path to flightplan" dialog. Loading keeps the date, the remarks, the path and the two
// flags. After a ConversionFailed status the fields read before the altitude keep their
// new values, so the panel must be written from the record to show what it now holds.
PlanLoadResult LoadPlanFile(FlightPlan& plan, const std::string& name,
                            const PlanFileAccess& access);

// Hundreds of feet from a cruising altitude in feet: the nearest whole number, a half
// going to the even neighbour. Raises ConversionError when the text is no number.
std::string CruiseLevelFromFeet(std::string_view feet);

// The folder of a file's path with its trailing separator, as [FSX_plan] path holds it.
std::string FolderOf(const std::string& file_path);

}  // namespace tavoro
