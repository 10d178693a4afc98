#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstddef>
#include <iosfwd>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix {

// Every user command. The raw value is the action's identity outside the program:
// serialised contracts, log lines, error texts and sort order.
enum class ActionID {
    docOpen,
    docNew,
    docSave,
    docSaveAs,
    docClose,
    docPrint,
    editUndo,
    editRedo,
    editCut,
    editCopy,
    editPaste,
    editFind,
    viewZoomIn,
    viewZoomOut,
    viewZoomFit,
    viewNextPage,
    viewPrevPage,
    viewShowSidebar,
    layoutSingle,
    layoutTwo,
    layoutContinuous,
    markupHighlight,
    markupUnderline,
    markupStrikeout,
    textAdd,
    textEdit,
    commentAddSticky,
    commentDelete,
    appQuit,
    appAbout,
    appPreferences,
};

std::string_view rawValue(ActionID id);

// Exact, case-sensitive match against the raw values.
std::optional<ActionID> parseActionID(std::string_view raw);

// All cases in declaration order.
const std::vector<ActionID>& allActionIDs();

// Orders ids by raw value (byte order), not by declaration order.
struct ActionIDRawLess {
    bool operator()(ActionID a, ActionID b) const { return rawValue(a) < rawValue(b); }
};

using ActionIDSet = std::set<ActionID, ActionIDRawLess>;

void sortByRawValue(std::vector<ActionID>& ids);
std::vector<ActionID> sortedByRawValue(std::vector<ActionID> ids);

std::ostream& operator<<(std::ostream& out, ActionID id);

// JSON form is the raw string; an unknown string or a non-string throws ombrix::Error.
void to_json(nlohmann::json& j, ActionID id);
void from_json(const nlohmann::json& j, ActionID& id);

} // namespace ombrix

template <> struct std::hash<ombrix::ActionID> {
    std::size_t operator()(ombrix::ActionID id) const noexcept {
        return std::hash<std::string_view>{}(ombrix::rawValue(id));
    }
};

OMBRIX_API_END
