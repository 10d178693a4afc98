#include "annotations/RedrawTargets.h"

#include "core/Executor.h"

namespace ombrix {

void requestRedraw(const RedrawTargets& targets, bool includeCanvas) {
    if (!targets.pdfView && !(includeCanvas && targets.canvas)) {
        return;
    }
    mainQueue().post([pdfView = targets.pdfView,
                      canvas = includeCanvas ? targets.canvas : std::function<void()>{}] {
        if (pdfView) {
            pdfView();
        }
        if (canvas) {
            canvas();
        }
    });
}

} // namespace ombrix
