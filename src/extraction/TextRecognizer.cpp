#include "extraction/TextRecognizer.h"

#include "core/Error.h"

#include <cstdlib>
#include <dlfcn.h>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

namespace ombrix {

namespace {

constexpr const char* kDomain = "TextRecognizer";
constexpr const char* kLanguage = "eng";
// The region is drawn at 4 × 72 dpi.
constexpr int kSourceResolution = 288;

bool hasModel(const std::filesystem::path& dir) {
    std::error_code ec;
    return std::filesystem::is_regular_file(dir / (std::string(kLanguage) + ".traineddata"), ec);
}

struct Engine {
    std::mutex mutex;
    std::unique_ptr<tesseract::TessBaseAPI> api; // null until initialised
};

// Never destroyed: the engine is ended from an exit handler instead, which runs before
// Tesseract's own static caches are torn down (they complain of leaks otherwise).
Engine& engine() {
    static Engine* shared = new Engine;
    return *shared;
}

void endEngine() {
    Engine& e = engine();
    std::lock_guard lock(e.mutex);
    e.api.reset();
}

// Tesseract's OpenMP loops split one small image over every core and spend the time
// synchronising: on two cores a table pass took three to nine times as long. GNU libgomp
// reads OMP_THREAD_LIMIT when it is loaded, which is before main since libtesseract links
// it, so setting the variable now cannot limit it. With no active parallel levels every
// region runs on the encountering thread, whatever num_threads Tesseract asks for; libgomp
// keeps that setting per thread, so each recognition thread sets it for itself. The variable
// still goes into the environment for runtimes that read it on first use.
void keepOpenMPSingleThreaded() {
    using SetLevels = void (*)(int);
    static const SetLevels set = [] {
        ::setenv("OMP_THREAD_LIMIT", "1", 0);
        return reinterpret_cast<SetLevels>(::dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    }();
    if (set) {
        set(0);
    }
}

// Called with the engine's mutex held.
tesseract::TessBaseAPI& initialisedApi(Engine& e) {
    if (e.api) {
        return *e.api;
    }
    auto dir = findTessdata();
    if (!dir) {
        throw Error(kDomain, 1,
                    "The English text-recognition model (eng.traineddata) was not found; set "
                    "TESSDATA_PREFIX or install tesseract-ocr-eng.");
    }
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // The dictionaries are init-only parameters: they must reach Init itself.
    const std::vector<std::string> names{"load_system_dawg", "load_freq_dawg"};
    const std::vector<std::string> values{"0", "0"};
    if (api->Init(dir->string().c_str(), kLanguage, tesseract::OEM_LSTM_ONLY, nullptr, 0, &names,
                  &values, false) != 0) {
        throw Error(kDomain, 2,
                    "The text-recognition model in " + dir->string() + " could not be loaded.");
    }
    api->SetPageSegMode(tesseract::PSM_AUTO);
    e.api = std::move(api);
    std::atexit(endEngine);
    return *e.api;
}

// The words of the last recognition, normalised to a w × h image.
void collectWords(tesseract::TessBaseAPI& api, double w, double h,
                  std::vector<RecognizedWord>& words) {
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it) {
        return;
    }
    do {
        std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!text || !it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom)) {
            continue;
        }
        std::string word(text.get());
        if (word.find_first_not_of(" \t\r\n") == std::string::npos) {
            continue;
        }
        // Pixel boxes run from the top left; the words are normalised with y up.
        words.push_back(
            RecognizedWord{std::move(word),
                           Rect{left / w, 1 - bottom / h, (right - left) / w, (bottom - top) / h}});
    } while (it->Next(tesseract::RIL_WORD));
}

// The whole image laid out and read when `boxes` is empty; else each box read as one word.
std::vector<RecognizedWord> recognizeOnEngine(const Image& image, const std::vector<Rect>& boxes) {
    keepOpenMPSingleThreaded();
    Engine& e = engine();
    std::lock_guard lock(e.mutex);
    tesseract::TessBaseAPI& api = initialisedApi(e);

    const double w = image.width();
    const double h = image.height();
    api.SetImage(image.data(), image.width(), image.height(), 4, image.stride());
    api.SetSourceResolution(kSourceResolution);
    std::vector<RecognizedWord> words;
    bool failed = false;
    if (boxes.empty()) {
        failed = api.Recognize(nullptr) != 0;
        if (!failed) {
            collectWords(api, w, h, words);
        }
    } else {
        api.SetPageSegMode(tesseract::PSM_SINGLE_WORD);
        for (const Rect& box : boxes) {
            const Rect b = box.standardized().intersection(Rect{0, 0, 1, 1});
            const int left = int(b.minX() * w), top = int((1 - b.maxY()) * h);
            const int width = int(b.width * w), height = int(b.height * h);
            if (width < 1 || height < 1) {
                continue;
            }
            api.SetRectangle(left, top, width, height);
            if (api.Recognize(nullptr) != 0) {
                failed = true;
                break;
            }
            collectWords(api, w, h, words);
        }
        api.SetPageSegMode(tesseract::PSM_AUTO);
    }
    api.Clear();
    if (failed) {
        throw Error(kDomain, 3, "Text recognition failed.");
    }
    return words;
}

} // namespace

std::optional<std::filesystem::path> findTessdata() {
    if (const char* prefix = std::getenv("TESSDATA_PREFIX"); prefix && *prefix) {
        const std::filesystem::path base(prefix);
        if (hasModel(base)) {
            return base;
        }
        if (hasModel(base / "tessdata")) {
            return base / "tessdata";
        }
    }
    for (const char* dir : {"/usr/share/tesseract-ocr/5/tessdata",
                            "/usr/share/tesseract-ocr/4.00/tessdata", "/usr/share/tessdata"}) {
        if (hasModel(dir)) {
            return std::filesystem::path(dir);
        }
    }
    return std::nullopt;
}

namespace TextRecognizer {

std::vector<RecognizedWord> recognizeWords(const Image& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        return {};
    }
    // Recognition runs on a worker thread; the caller blocks until it has every word.
    auto result = std::async(std::launch::async, [image] { return recognizeOnEngine(image, {}); });
    return result.get();
}

std::vector<RecognizedWord> recognizeWordsIn(const Image& image, const std::vector<Rect>& boxes) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0 || boxes.empty()) {
        return {};
    }
    auto result =
        std::async(std::launch::async, [image, boxes] { return recognizeOnEngine(image, boxes); });
    return result.get();
}

} // namespace TextRecognizer

} // namespace ombrix
