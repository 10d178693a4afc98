#include "pdfkit/ImageCodec.h"

#include "pdfkit/MuContext.h"
#include "pdfkit/MuImagePage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ombrix::pdfkit {

namespace {

// At least one pixel, and bytes for every one of them.
bool hasPixels(const Image& image) {
    return !image.isNull() && image.width() >= 1 && image.height() >= 1 &&
           image.byteCount() >= std::size_t(image.width()) * std::size_t(image.height()) * 4;
}

} // namespace

std::optional<std::string> encodePNG(const Image& image) {
    if (!hasPixels(image)) {
        return std::nullopt;
    }
    const int w = image.width();
    const int h = image.height();
    const std::uint8_t* src = image.data();
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    bool opaque = true;
    for (std::size_t i = 0; i < pixels && opaque; ++i) {
        opaque = src[i * 4 + 3] == 255;
    }
    // MuPDF's pixmaps are premultiplied like ours, and its PNG writer un-premultiplies.
    // Opaque images go without alpha: a third smaller.
    const int n = opaque ? 3 : 4;
    fz_context* ctx = mu::context();
    fz_pixmap* pixmap = nullptr;
    fz_buffer* buffer = nullptr;
    bool ok = mu::attempt(ctx, [&] {
        pixmap = fz_new_pixmap(ctx, fz_device_rgb(ctx), w, h, nullptr, opaque ? 0 : 1);
    });
    if (ok) {
        unsigned char* dst = fz_pixmap_samples(ctx, pixmap);
        const std::ptrdiff_t stride = fz_pixmap_stride(ctx, pixmap);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* s = src + std::size_t(y) * std::size_t(w) * 4;
            unsigned char* d = dst + y * stride;
            if (n == 4) {
                std::memcpy(d, s, std::size_t(w) * 4);
            } else {
                for (int x = 0; x < w; ++x) {
                    d[x * 3] = s[x * 4];
                    d[x * 3 + 1] = s[x * 4 + 1];
                    d[x * 3 + 2] = s[x * 4 + 2];
                }
            }
        }
        ok = mu::attempt(ctx, [&] {
            buffer = fz_new_buffer_from_pixmap_as_png(ctx, pixmap, fz_default_color_params);
        });
    }
    fz_drop_pixmap(ctx, pixmap);
    if (!ok) {
        fz_drop_buffer(ctx, buffer);
        return std::nullopt;
    }
    unsigned char* data = nullptr;
    const std::size_t size = fz_buffer_storage(ctx, buffer, &data);
    std::string png(reinterpret_cast<const char*>(data), size);
    fz_drop_buffer(ctx, buffer);
    return png;
}

std::optional<std::string> encodeImagePDF(const Image& image, const std::optional<Size>& page) {
    fz_context* ctx = mu::context();
    pdf_document* pdf = nullptr;
    if (!mu::attempt(ctx, [&] { pdf = pdf_create_document(ctx); })) {
        return std::nullopt;
    }
    auto bytes = mu::writeImagePage(ctx, pdf, image, page);
    pdf_drop_document(ctx, pdf);
    return bytes;
}

namespace mu {

std::optional<std::string> writeImagePage(fz_context* ctx, pdf_document* pdf, const Image& image,
                                          const std::optional<Size>& page) {
    if (!hasPixels(image)) {
        return std::nullopt;
    }
    const int w = image.width();
    const int h = image.height();
    const double pageWidth = page ? page->width : double(w);
    const double pageHeight = page ? page->height : double(h);
    if (!(pageWidth > 0 && pageHeight > 0 && std::isfinite(pageWidth) &&
          std::isfinite(pageHeight))) {
        return std::nullopt;
    }
    fz_pixmap* pixmap = nullptr;
    if (!mu::attempt(ctx,
                     [&] { pixmap = fz_new_pixmap(ctx, fz_device_rgb(ctx), w, h, nullptr, 0); })) {
        return std::nullopt;
    }
    // Premultiplied pixels over white paper: composite the translucent ones onto it.
    unsigned char* dst = fz_pixmap_samples(ctx, pixmap);
    const std::ptrdiff_t stride = fz_pixmap_stride(ctx, pixmap);
    const std::uint8_t* src = image.data();
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* s = src + std::size_t(y) * std::size_t(w) * 4;
        unsigned char* d = dst + y * stride;
        for (int x = 0; x < w; ++x) {
            const int paper = 255 - s[x * 4 + 3];
            d[x * 3] = static_cast<unsigned char>(std::min(255, s[x * 4] + paper));
            d[x * 3 + 1] = static_cast<unsigned char>(std::min(255, s[x * 4 + 1] + paper));
            d[x * 3 + 2] = static_cast<unsigned char>(std::min(255, s[x * 4 + 2] + paper));
        }
    }

    fz_image* picture = nullptr;
    fz_buffer* contents = nullptr;
    fz_buffer* out = nullptr;
    fz_output* sink = nullptr;
    pdf_obj* resources = nullptr;
    pdf_obj* pageObject = nullptr;
    pdf_obj* pages = nullptr;
    pdf_obj* catalog = nullptr;
    bool ok = mu::attempt(ctx, [&] {
        // A fresh catalog and page tree: nothing the document held before is reachable,
        // so the garbage collection of the write leaves it all out. The trailer is read
        // after the first new object, which starts the section of changes that has one.
        pages = pdf_add_new_dict(ctx, pdf, 3);
        pdf_dict_put(ctx, pages, PDF_NAME(Type), PDF_NAME(Pages));
        pdf_dict_put_array(ctx, pages, PDF_NAME(Kids), 1);
        pdf_dict_put_int(ctx, pages, PDF_NAME(Count), 0);
        catalog = pdf_add_new_dict(ctx, pdf, 2);
        pdf_dict_put(ctx, catalog, PDF_NAME(Type), PDF_NAME(Catalog));
        pdf_dict_put(ctx, catalog, PDF_NAME(Pages), pages);
        pdf_obj* trailer = pdf_trailer(ctx, pdf);
        pdf_dict_put(ctx, trailer, PDF_NAME(Root), catalog);
        pdf_dict_del(ctx, trailer, PDF_NAME(Info));
        picture = fz_new_image_from_pixmap(ctx, pixmap, nullptr);
        pdf_obj* ref = pdf_add_image(ctx, pdf, picture);
        resources = pdf_new_dict(ctx, pdf, 1);
        pdf_obj* xobjects = pdf_dict_put_dict(ctx, resources, PDF_NAME(XObject), 1);
        pdf_dict_puts_drop(ctx, xobjects, "Im0", ref);
        contents = fz_new_buffer(ctx, 64);
        fz_append_printf(ctx, contents, "q\n%g 0 0 %g 0 0 cm\n/Im0 Do\nQ\n", pageWidth, pageHeight);
        pageObject = pdf_add_page(ctx, pdf, fz_make_rect(0, 0, float(pageWidth), float(pageHeight)),
                                  0, resources, contents);
        pdf_insert_page(ctx, pdf, -1, pageObject);
        out = fz_new_buffer(ctx, 1 << 16);
        sink = fz_new_output_with_buffer(ctx, out);
        pdf_write_options options = pdf_default_write_options;
        options.do_compress = 1;
        options.do_compress_images = 1;
        options.do_garbage = 1;
        pdf_write_document(ctx, pdf, sink, &options);
        fz_close_output(ctx, sink);
    });
    std::optional<std::string> bytes;
    if (ok) {
        unsigned char* data = nullptr;
        const std::size_t size = fz_buffer_storage(ctx, out, &data);
        bytes.emplace(reinterpret_cast<const char*>(data), size);
    }
    fz_drop_output(ctx, sink);
    fz_drop_buffer(ctx, out);
    pdf_drop_obj(ctx, pageObject);
    pdf_drop_obj(ctx, catalog);
    pdf_drop_obj(ctx, pages);
    fz_drop_buffer(ctx, contents);
    pdf_drop_obj(ctx, resources);
    fz_drop_image(ctx, picture);
    fz_drop_pixmap(ctx, pixmap);
    return bytes;
}

} // namespace mu

std::optional<Image> decodeImage(std::string_view bytes) {
    if (bytes.empty()) {
        return std::nullopt;
    }
    fz_context* ctx = mu::context();
    fz_buffer* buffer = nullptr;
    fz_image* image = nullptr;
    fz_pixmap* decoded = nullptr;
    fz_pixmap* rgb = nullptr;
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    bool ok = mu::attempt(ctx, [&] {
        buffer = fz_new_buffer_from_copied_data(ctx, data, size);
        image = fz_new_image_from_buffer(ctx, buffer);
        decoded = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
        if (fz_pixmap_colorspace(ctx, decoded) == fz_device_rgb(ctx) &&
            fz_pixmap_components(ctx, decoded) == 4 && fz_pixmap_alpha(ctx, decoded)) {
            rgb = fz_keep_pixmap(ctx, decoded);
        } else {
            rgb = fz_convert_pixmap(ctx, decoded, fz_device_rgb(ctx), nullptr, nullptr,
                                    fz_default_color_params, 1);
        }
    });
    std::optional<Image> result;
    if (ok && rgb) {
        const int w = fz_pixmap_width(ctx, rgb);
        const int h = fz_pixmap_height(ctx, rgb);
        const int n = fz_pixmap_components(ctx, rgb);
        const bool alpha = fz_pixmap_alpha(ctx, rgb);
        const std::ptrdiff_t stride = fz_pixmap_stride(ctx, rgb);
        const unsigned char* s = fz_pixmap_samples(ctx, rgb);
        if (w > 0 && h > 0 && n >= 3 && s) {
            std::vector<std::uint8_t> rgba(std::size_t(w) * std::size_t(h) * 4);
            for (int y = 0; y < h; ++y) {
                const unsigned char* row = s + y * stride;
                std::uint8_t* out = rgba.data() + std::size_t(y) * std::size_t(w) * 4;
                for (int x = 0; x < w; ++x) {
                    out[x * 4] = row[x * n];
                    out[x * 4 + 1] = row[x * n + 1];
                    out[x * 4 + 2] = row[x * n + 2];
                    out[x * 4 + 3] = alpha ? row[x * n + n - 1] : 255;
                }
            }
            result = Image(w, h, std::move(rgba));
        }
    }
    fz_drop_pixmap(ctx, rgb);
    fz_drop_pixmap(ctx, decoded);
    fz_drop_image(ctx, image);
    fz_drop_buffer(ctx, buffer);
    return result;
}

} // namespace ombrix::pdfkit
