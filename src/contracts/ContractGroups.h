#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

namespace ombrix {

class ContractBuilder;

// The declared contracts, one group per handler domain. Each adds its contracts to the
// builder in a fixed order; a failing addition is collected by the builder.
struct AppContracts {
    static void registerWith(ContractBuilder& builder);
};
struct DocumentContracts {
    static void registerWith(ContractBuilder& builder);
};
struct ViewContracts {
    static void registerWith(ContractBuilder& builder);
};
struct MarkupContracts {
    static void registerWith(ContractBuilder& builder);
};
struct SearchContracts {
    static void registerWith(ContractBuilder& builder);
};
struct LayoutContracts {
    static void registerWith(ContractBuilder& builder);
};
struct TextContracts {
    static void registerWith(ContractBuilder& builder);
};

// All seven groups: App, Document, View, Markup, Search, Layout, Text.
struct AllContracts {
    static void registerWith(ContractBuilder& builder);
};

} // namespace ombrix

OMBRIX_API_END
