#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Geometry.h"
#include "core/Image.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

// One recognised word; bounds normalised to the image (0…1 on both axes, origin bottom-left).
struct RecognizedWord {
    std::string text;
    Rect bounds;
    bool operator==(const RecognizedWord&) const = default;
};

// The directory holding eng.traineddata: $TESSDATA_PREFIX (itself or its tessdata/), then
// the Debian locations of Tesseract 5 and 4, then /usr/share/tessdata. Nothing when none has it.
std::optional<std::filesystem::path> findTessdata();

// Tesseract with the English LSTM model and no dictionary correction. One engine is
// initialised on first use and reused by every call; calls are serialised.
namespace TextRecognizer {

// Words of the image in reading order, recognised on a worker thread while the caller
// waits. Throws ombrix::Error (domain "TextRecognizer") when the model cannot be loaded
// or recognition fails.
std::vector<RecognizedWord> recognizeWords(const Image& image);

// Each box (normalised like the words) read as a single word, for text the layout analysis
// passed over: Tesseract drops a lone digit in a column of its own. Bounds are those of
// the whole image. Same threading and errors as recognizeWords.
std::vector<RecognizedWord> recognizeWordsIn(const Image& image, const std::vector<Rect>& boxes);

} // namespace TextRecognizer

} // namespace ombrix

OMBRIX_API_END
