#include "contracts/ContractGroups.h"

#include "contracts/ContractBuilder.h"
#include "contracts/SourceGroup.h"

namespace ombrix {

void AppContracts::registerWith(ContractBuilder& builder) {
    builder.add(ActionID::appQuit, SourceGroup::menuTBKey, {TargetName::app}, "quit");
    builder.add(ActionID::appAbout, SourceGroup::menu, {TargetName::app}, "about");
    builder.add(ActionID::appPreferences, SourceGroup::menuTBKey, {TargetName::app}, "preferences");
}

void DocumentContracts::registerWith(ContractBuilder& builder) {
    builder.add(ActionID::docOpen, SourceGroup::menuTBKey, {TargetName::document}, "open",
                BridgeOp::open);
    builder.add(ActionID::docSave, SourceGroup::menuTBKey, {TargetName::document}, "save",
                BridgeOp::save);
}

void ViewContracts::registerWith(ContractBuilder& builder) {
    builder.add(ActionID::viewZoomIn, SourceGroup::menuTBKey, {TargetName::viewer}, "zoomIn");
    builder.add(ActionID::viewZoomOut, SourceGroup::menuTBKey, {TargetName::viewer}, "zoomOut");
    builder.add(ActionID::viewZoomFit, SourceGroup::menuTBKey, {TargetName::viewer}, "zoomFit");
    builder.add(ActionID::viewNextPage, SourceGroup::menuTBKey, {TargetName::viewer}, "nextPage");
    builder.add(ActionID::viewPrevPage, SourceGroup::menuTBKey, {TargetName::viewer}, "prevPage");
}

void MarkupContracts::registerWith(ContractBuilder& builder) {
    builder.add(ActionID::markupHighlight, SourceGroup::menuTBKey, {TargetName::markup},
                "highlight");
    builder.add(ActionID::markupUnderline, SourceGroup::menuTBKey, {TargetName::markup},
                "underline");
}

void SearchContracts::registerWith(ContractBuilder& builder) {
    builder.add(ActionID::editFind, SourceGroup::menuTBKey, {TargetName::search}, "find");
}

void LayoutContracts::registerWith(ContractBuilder& builder) {
    builder.add(ActionID::layoutSingle, SourceGroup::menuTB, {TargetName::layout}, "single");
    builder.add(ActionID::layoutTwo, SourceGroup::menuTB, {TargetName::layout}, "two");
    builder.add(ActionID::layoutContinuous, SourceGroup::menuTB, {TargetName::layout},
                "continuous");
}

void TextContracts::registerWith(ContractBuilder& builder) {
    builder.add(ActionID::textAdd, SourceGroup::menuTBKey, {TargetName::textEdit}, "add");
    builder.add(ActionID::textEdit, SourceGroup::menuTBKey, {TargetName::textEdit}, "edit");
}

void AllContracts::registerWith(ContractBuilder& builder) {
    AppContracts::registerWith(builder);
    DocumentContracts::registerWith(builder);
    ViewContracts::registerWith(builder);
    MarkupContracts::registerWith(builder);
    SearchContracts::registerWith(builder);
    LayoutContracts::registerWith(builder);
    TextContracts::registerWith(builder);
}

} // namespace ombrix
