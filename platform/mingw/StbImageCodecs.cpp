// libpng's and libjpeg's entry points as JUCE's image loaders call them
// (png.h, jpeglib.h), over stb_image and stb_image_write. Errors reach the
// caller's error handler as libpng's and libjpeg's would; JUCE's PNG handler
// long-jumps, so nothing here owns a C++ object across a call to it.

#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STB_IMAGE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>

extern "C"
{
#include "png.h"
}
#include "jpeglib.h"

#include <cstdlib>
#include <cstring>

//==============================================================================
// PNG

struct png_info_def
{
    int unused;
};

struct png_codec_state
{
    unsigned char* encoded = nullptr; // the whole file as read, or the rows to write
    size_t encodedSize = 0;
    unsigned char* pixels = nullptr;  // decoded, 8-bit RGBA
    int width = 0, height = 0, channels = 0, bitDepth = 8;
    png_uint_32 rowsWritten = 0;
};

namespace
{
constexpr size_t maxPngFileSize = 256u << 20;

void pngFail (png_structp png, png_const_charp message)
{
    if (png->error_fn != nullptr)
        png->error_fn (png, message);
}

png_structp createPng (void* errorPtr, png_error_ptr errorFn, png_error_ptr warnFn)
{
    auto* png = static_cast<png_structp> (std::calloc (1, sizeof (png_struct)));
    if (png == nullptr)
        return nullptr;
    png->state = static_cast<png_codec_state*> (std::calloc (1, sizeof (png_codec_state)));
    if (png->state == nullptr)
    {
        std::free (png);
        return nullptr;
    }
    png->error_ptr = errorPtr;
    png->error_fn = errorFn;
    png->warning_fn = warnFn;
    return png;
}

void destroyPng (png_structpp png, png_infopp info)
{
    if (info != nullptr && *info != nullptr)
    {
        std::free (*info);
        *info = nullptr;
    }
    if (png == nullptr || *png == nullptr)
        return;
    std::free ((*png)->state->encoded);
    stbi_image_free ((*png)->state->pixels);
    std::free ((*png)->state);
    std::free (*png);
    *png = nullptr;
}

// Appends count bytes from the read callback; false when the file grows too large.
bool readPngBytes (png_structp png, size_t count)
{
    auto& state = *png->state;
    if (count > maxPngFileSize - state.encodedSize)
        return false;
    auto* grown = static_cast<unsigned char*> (std::realloc (state.encoded, state.encodedSize + count));
    if (grown == nullptr)
        return false;
    state.encoded = grown;
    png->read_fn (png, state.encoded + state.encodedSize, count);
    state.encodedSize += count;
    return true;
}

png_uint_32 bigEndian32 (const unsigned char* bytes)
{
    return ((png_uint_32) bytes[0] << 24) | ((png_uint_32) bytes[1] << 16) | ((png_uint_32) bytes[2] << 8) | bytes[3];
}

void writePngBytes (void* context, void* data, int size)
{
    auto* png = static_cast<png_structp> (context);
    png->write_fn (png, static_cast<png_bytep> (data), (png_size_t) size);
}
} // namespace

extern "C"
{
png_structp png_create_read_struct (png_const_charp, void* error_ptr, png_error_ptr error_fn, png_error_ptr warn_fn)
{
    return createPng (error_ptr, error_fn, warn_fn);
}

png_structp png_create_write_struct (png_const_charp, void* error_ptr, png_error_ptr error_fn, png_error_ptr warn_fn)
{
    return createPng (error_ptr, error_fn, warn_fn);
}

png_infop png_create_info_struct (png_structp png)
{
    return png == nullptr ? nullptr : static_cast<png_infop> (std::calloc (1, sizeof (png_info)));
}

void png_destroy_read_struct (png_structpp png, png_infopp info, png_infopp end_info)
{
    destroyPng (png, info);
    if (end_info != nullptr && *end_info != nullptr)
    {
        std::free (*end_info);
        *end_info = nullptr;
    }
}

void png_destroy_write_struct (png_structpp png, png_infopp info) { destroyPng (png, info); }

void png_set_error_fn (png_structp png, void* error_ptr, png_error_ptr error_fn, png_error_ptr warning_fn)
{
    png->error_ptr = error_ptr;
    png->error_fn = error_fn;
    png->warning_fn = warning_fn;
}

void png_set_read_fn (png_structp png, void* io_ptr, png_rw_ptr read_fn)
{
    png->io_ptr = io_ptr;
    png->read_fn = read_fn;
}

void png_set_write_fn (png_structp png, void* io_ptr, png_rw_ptr write_fn, png_flush_ptr)
{
    png->io_ptr = io_ptr;
    png->write_fn = write_fn;
}

void* png_get_io_ptr (png_structp png) { return png->io_ptr; }

// Reads the signature and every chunk up to IEND, no further, then decodes.
void png_read_info (png_structp png, png_infop)
{
    static const unsigned char signature[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };
    auto& state = *png->state;
    if (! readPngBytes (png, 8) || std::memcmp (state.encoded, signature, 8) != 0)
        return pngFail (png, "Not a PNG file");

    for (;;)
    {
        const auto chunkStart = state.encodedSize;
        if (! readPngBytes (png, 8))
            return pngFail (png, "PNG file too large");
        const auto length = bigEndian32 (state.encoded + chunkStart);
        const bool end = std::memcmp (state.encoded + chunkStart + 4, "IEND", 4) == 0;
        if (length > 0x7fffffffu || ! readPngBytes (png, (size_t) length + 4))
            return pngFail (png, "PNG chunk too large");
        if (end)
            break;
    }

    int width = 0, height = 0, channels = 0;
    const auto size = (int) state.encodedSize;
    if (! stbi_info_from_memory (state.encoded, size, &width, &height, &channels))
        return pngFail (png, stbi_failure_reason());
    state.bitDepth = stbi_is_16_bit_from_memory (state.encoded, size) ? 16 : 8;
    state.pixels = stbi_load_from_memory (state.encoded, size, &state.width, &state.height, &state.channels, 4);
    if (state.pixels == nullptr)
        return pngFail (png, stbi_failure_reason());
}

// The colour type of what was decoded: palette images report RGB, or RGB
// with alpha when they have transparency, as libpng's expansion does.
png_uint_32 png_get_IHDR (png_structp png, png_infop, png_uint_32* width, png_uint_32* height, int* bit_depth,
                          int* color_type, int* interlace_method, int* compression_method, int* filter_method)
{
    static const int colorTypes[] = { PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                      PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA };
    const auto& state = *png->state;
    if (width != nullptr) *width = (png_uint_32) state.width;
    if (height != nullptr) *height = (png_uint_32) state.height;
    if (bit_depth != nullptr) *bit_depth = state.bitDepth;
    if (color_type != nullptr) *color_type = colorTypes[state.channels >= 0 && state.channels <= 4 ? state.channels : 0];
    if (interlace_method != nullptr) *interlace_method = PNG_INTERLACE_NONE;
    if (compression_method != nullptr) *compression_method = PNG_COMPRESSION_TYPE_BASE;
    if (filter_method != nullptr) *filter_method = PNG_FILTER_TYPE_BASE;
    return state.pixels != nullptr ? 1 : 0;
}

// Transparency comes as the alpha channel of the decoded image instead.
png_uint_32 png_get_valid (png_structp, png_infop, png_uint_32) { return 0; }

png_uint_32 png_get_tRNS (png_structp, png_infop, png_bytep*, int* num_trans, png_color_16p*)
{
    if (num_trans != nullptr)
        *num_trans = 0;
    return 0;
}

// The decoded rows are 8-bit RGBA already: what these ask for.
void png_set_strip_16 (png_structp) {}
void png_set_expand (png_structp) {}
void png_set_gray_to_rgb (png_structp) {}
void png_set_add_alpha (png_structp, png_uint_32, int) {}

void png_read_image (png_structp png, png_bytepp rows)
{
    const auto& state = *png->state;
    if (state.pixels == nullptr)
        return pngFail (png, "No PNG image decoded");
    const auto stride = (size_t) state.width * 4;
    for (int y = 0; y < state.height; ++y)
        std::memcpy (rows[y], state.pixels + stride * (size_t) y, stride);
}

void png_read_end (png_structp, png_infop) {}

void png_set_IHDR (png_structp png, png_infop, png_uint_32 width, png_uint_32 height, int, int color_type, int, int, int)
{
    auto& state = *png->state;
    state.width = (int) width;
    state.height = (int) height;
    state.channels = (color_type & PNG_COLOR_MASK_ALPHA) != 0 ? 4 : 3;
    std::free (state.encoded);
    state.encodedSize = (size_t) width * height * (size_t) state.channels;
    state.encoded = static_cast<unsigned char*> (std::malloc (state.encodedSize > 0 ? state.encodedSize : 1));
    state.rowsWritten = 0;
    if (state.encoded == nullptr)
        pngFail (png, "Out of memory");
}

// Rows are written as 8-bit samples, whatever these say.
void png_set_sBIT (png_structp, png_infop, png_color_8p) {}
void png_set_shift (png_structp, png_color_8p) {}
void png_set_packing (png_structp) {}
void png_write_info (png_structp, png_infop) {}

void png_write_rows (png_structp png, png_bytepp rows, png_uint_32 num_rows)
{
    auto& state = *png->state;
    const auto stride = (size_t) state.width * (size_t) state.channels;
    for (png_uint_32 i = 0; i < num_rows && state.encoded != nullptr && state.rowsWritten < (png_uint_32) state.height; ++i)
        std::memcpy (state.encoded + stride * state.rowsWritten++, rows[i], stride);
}

void png_write_end (png_structp png, png_infop)
{
    const auto& state = *png->state;
    if (state.encoded == nullptr
        || ! stbi_write_png_to_func (writePngBytes, png, state.width, state.height, state.channels, state.encoded,
                                     state.width * state.channels))
        pngFail (png, "PNG encoding failed");
}
} // extern "C"

//==============================================================================
// JPEG

struct jpeg_codec_state
{
    void** allocations = nullptr; // freed with the struct
    size_t numAllocations = 0;
    unsigned char* pixels = nullptr; // decoded RGB, or the rows to encode
    bool decoded = false;
};

namespace
{
void jpegFail (j_common_ptr cinfo)
{
    if (cinfo->err != nullptr && cinfo->err->error_exit != nullptr)
        cinfo->err->error_exit (cinfo);
}

void* remember (j_common_ptr cinfo, void* block)
{
    auto& state = *cinfo->state;
    auto* grown = static_cast<void**> (std::realloc (state.allocations, (state.numAllocations + 1) * sizeof (void*)));
    if (block == nullptr || grown == nullptr)
    {
        std::free (block);
        if (grown != nullptr)
            state.allocations = grown;
        jpegFail (cinfo);
        return nullptr;
    }
    state.allocations = grown;
    state.allocations[state.numAllocations++] = block;
    return block;
}

void* allocSmall (j_common_ptr cinfo, int, size_t size) { return remember (cinfo, std::calloc (1, size)); }

JSAMPARRAY allocSampleArray (j_common_ptr cinfo, int, JDIMENSION samplesPerRow, JDIMENSION numRows)
{
    auto* rows = static_cast<JSAMPARRAY> (allocSmall (cinfo, JPOOL_IMAGE, numRows * sizeof (JSAMPROW)));
    for (JDIMENSION i = 0; rows != nullptr && i < numRows; ++i)
        rows[i] = static_cast<JSAMPROW> (allocSmall (cinfo, JPOOL_IMAGE, samplesPerRow));
    return rows;
}

jpeg_memory_mgr memoryManager { allocSmall, allocSampleArray };

// err and client_data are the caller's, set before or after creation.
template <typename Struct>
void createJpeg (Struct* cinfo, bool decompressor)
{
    auto* err = cinfo->err;
    auto* clientData = cinfo->client_data;
    std::memset (cinfo, 0, sizeof (Struct));
    cinfo->err = err;
    cinfo->client_data = clientData;
    cinfo->mem = &memoryManager;
    cinfo->is_decompressor = decompressor;
    cinfo->state = static_cast<jpeg_codec_state*> (std::calloc (1, sizeof (jpeg_codec_state)));
}

void destroyJpeg (j_common_ptr cinfo)
{
    if (cinfo->state == nullptr)
        return;
    for (size_t i = 0; i < cinfo->state->numAllocations; ++i)
        std::free (cinfo->state->allocations[i]);
    std::free (cinfo->state->allocations);
    if (cinfo->state->decoded)
        stbi_image_free (cinfo->state->pixels);
    else
        std::free (cinfo->state->pixels);
    std::free (cinfo->state);
    cinfo->state = nullptr;
}

void writeJpegBytes (void* context, void* data, int size)
{
    auto* cinfo = static_cast<j_compress_ptr> (context);
    auto* bytes = static_cast<const JOCTET*> (data);
    auto* dest = cinfo->dest;
    while (size > 0)
    {
        if (dest->free_in_buffer == 0 && ! dest->empty_output_buffer (cinfo))
            return;
        const auto count = dest->free_in_buffer < (size_t) size ? dest->free_in_buffer : (size_t) size;
        std::memcpy (dest->next_output_byte, bytes, count);
        dest->next_output_byte += count;
        dest->free_in_buffer -= count;
        bytes += count;
        size -= (int) count;
    }
}
} // namespace

extern "C"
{
void jpeg_CreateDecompress (j_decompress_ptr cinfo) { createJpeg (cinfo, true); }
void jpeg_CreateCompress (j_compress_ptr cinfo) { createJpeg (cinfo, false); }
void jpeg_destroy_decompress (j_decompress_ptr cinfo) { destroyJpeg (reinterpret_cast<j_common_ptr> (cinfo)); }
void jpeg_destroy_compress (j_compress_ptr cinfo) { destroyJpeg (reinterpret_cast<j_common_ptr> (cinfo)); }

// The whole source buffer is one image: it is decoded here and consumed.
int jpeg_read_header (j_decompress_ptr cinfo, boolean)
{
    auto& state = *cinfo->state;
    int width = 0, height = 0, channels = 0;
    state.pixels = stbi_load_from_memory (cinfo->src->next_input_byte, (int) cinfo->src->bytes_in_buffer, &width, &height, &channels, 3);
    state.decoded = true;
    if (state.pixels == nullptr)
    {
        jpegFail (reinterpret_cast<j_common_ptr> (cinfo));
        return 0;
    }
    cinfo->output_width = (JDIMENSION) width;
    cinfo->output_height = (JDIMENSION) height;
    cinfo->out_color_space = JCS_RGB;
    cinfo->src->next_input_byte += cinfo->src->bytes_in_buffer;
    cinfo->src->bytes_in_buffer = 0;
    return 1;
}

void jpeg_calc_output_dimensions (j_decompress_ptr) {}

boolean jpeg_start_decompress (j_decompress_ptr cinfo)
{
    cinfo->output_scanline = 0;
    return cinfo->state->pixels != nullptr;
}

JDIMENSION jpeg_read_scanlines (j_decompress_ptr cinfo, JSAMPARRAY scanlines, JDIMENSION max_lines)
{
    const auto stride = (size_t) cinfo->output_width * 3;
    JDIMENSION read = 0;
    for (; read < max_lines && cinfo->output_scanline < cinfo->output_height; ++read)
        std::memcpy (scanlines[read], cinfo->state->pixels + stride * cinfo->output_scanline++, stride);
    return read;
}

boolean jpeg_finish_decompress (j_decompress_ptr) { return TRUE; }
boolean jpeg_resync_to_restart (j_decompress_ptr, int) { return FALSE; }

void jpeg_set_defaults (j_compress_ptr cinfo) { cinfo->quality = 75; }
void jpeg_set_quality (j_compress_ptr cinfo, int quality, boolean) { cinfo->quality = quality; }

void jpeg_start_compress (j_compress_ptr cinfo, boolean)
{
    auto& state = *cinfo->state;
    const auto size = (size_t) cinfo->image_width * cinfo->image_height * (size_t) cinfo->input_components;
    state.pixels = static_cast<unsigned char*> (std::malloc (size > 0 ? size : 1));
    cinfo->next_scanline = 0;
    if (state.pixels == nullptr)
        return jpegFail (reinterpret_cast<j_common_ptr> (cinfo));
    cinfo->dest->init_destination (cinfo);
}

// Rows are taken even when nothing can be encoded, so that the caller's loop ends.
JDIMENSION jpeg_write_scanlines (j_compress_ptr cinfo, JSAMPARRAY scanlines, JDIMENSION num_lines)
{
    const auto stride = (size_t) cinfo->image_width * (size_t) cinfo->input_components;
    JDIMENSION written = 0;
    for (; written < num_lines && cinfo->next_scanline < cinfo->image_height; ++written, ++cinfo->next_scanline)
        if (cinfo->state->pixels != nullptr)
            std::memcpy (cinfo->state->pixels + stride * cinfo->next_scanline, scanlines[written], stride);
    return written;
}

void jpeg_finish_compress (j_compress_ptr cinfo)
{
    const auto* pixels = cinfo->state->pixels;
    if (pixels == nullptr
        || ! stbi_write_jpg_to_func (writeJpegBytes, cinfo, (int) cinfo->image_width, (int) cinfo->image_height,
                                     cinfo->input_components, pixels, cinfo->quality))
        return jpegFail (reinterpret_cast<j_common_ptr> (cinfo));
    cinfo->dest->term_destination (cinfo);
}
} // extern "C"
