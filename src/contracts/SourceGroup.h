#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <string>
#include <vector>

namespace ombrix {

// Where an action may come from. Contracts list them as intent; dispatch does not check.
namespace SourceName {
inline constexpr char menu[] = "Menu";
inline constexpr char toolbar[] = "Toolbar";
inline constexpr char keyboard[] = "Keyboard";
inline constexpr char mouse[] = "Mouse";
inline constexpr char api[] = "API";
inline constexpr char viewer[] = "Viewer";
inline constexpr char contextMenu[] = "ContextMenu";
} // namespace SourceName

// The handler domains; each equals the targetName() of one handler.
namespace TargetName {
inline constexpr char app[] = "app";
inline constexpr char document[] = "document";
inline constexpr char viewer[] = "viewer";
inline constexpr char markup[] = "markup";
inline constexpr char search[] = "search";
inline constexpr char layout[] = "layout";
inline constexpr char textEdit[] = "text_edit";
} // namespace TargetName

// The fixed source lists contracts are declared with.
namespace SourceGroup {
using List = std::vector<std::string>;
inline const List menu{SourceName::menu};
inline const List toolbar{SourceName::toolbar};
inline const List keyboard{SourceName::keyboard};
inline const List mouse{SourceName::mouse};
inline const List api{SourceName::api};
inline const List viewer{SourceName::viewer};
inline const List context{SourceName::contextMenu};
inline const List menuTB{SourceName::menu, SourceName::toolbar};
inline const List menuTBKey{SourceName::menu, SourceName::toolbar, SourceName::keyboard};
inline const List menuTBKeyMouse{SourceName::menu, SourceName::toolbar, SourceName::keyboard,
                                 SourceName::mouse};
inline const List draw{SourceName::menu, SourceName::toolbar, SourceName::mouse,
                       SourceName::keyboard};
inline const List shape{SourceName::menu, SourceName::toolbar, SourceName::mouse,
                        SourceName::keyboard};
} // namespace SourceGroup

} // namespace ombrix

OMBRIX_API_END
