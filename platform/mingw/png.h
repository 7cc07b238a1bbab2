#pragma once

// The part of libpng's interface that JUCE's PNG loader and writer call,
// decoded and encoded by stb_image (StbImageCodecs.cpp). Debian's JUCE takes
// libpng from the system and no libpng is packaged for MinGW.
// Reading always yields 8-bit RGBA rows, which is what JUCE asks libpng for.

#include <stddef.h>

#define PNG_LIBPNG_VER_STRING "1.6.39"

#define PNG_COLOR_MASK_PALETTE 1
#define PNG_COLOR_MASK_COLOR 2
#define PNG_COLOR_MASK_ALPHA 4
#define PNG_COLOR_TYPE_GRAY 0
#define PNG_COLOR_TYPE_PALETTE (PNG_COLOR_MASK_COLOR | PNG_COLOR_MASK_PALETTE)
#define PNG_COLOR_TYPE_RGB PNG_COLOR_MASK_COLOR
#define PNG_COLOR_TYPE_RGB_ALPHA (PNG_COLOR_MASK_COLOR | PNG_COLOR_MASK_ALPHA)
#define PNG_COLOR_TYPE_GRAY_ALPHA PNG_COLOR_MASK_ALPHA
#define PNG_INFO_tRNS 0x0010U
#define PNG_FILLER_AFTER 1
#define PNG_INTERLACE_NONE 0
#define PNG_COMPRESSION_TYPE_BASE 0
#define PNG_FILTER_TYPE_BASE 0

typedef unsigned int png_uint_32;
typedef size_t png_size_t;
typedef unsigned char png_byte;
typedef png_byte* png_bytep;
typedef png_byte** png_bytepp;
typedef const char* png_const_charp;

typedef struct png_color_8_struct
{
    png_byte red, green, blue, gray, alpha;
} png_color_8;
typedef png_color_8* png_color_8p;

typedef struct png_color_16_struct
{
    png_byte index;
    unsigned short red, green, blue, gray;
} png_color_16;
typedef png_color_16* png_color_16p;

typedef struct png_struct_def png_struct;
typedef png_struct* png_structp;
typedef png_structp* png_structpp;
typedef struct png_info_def png_info;
typedef png_info* png_infop;
typedef png_infop* png_infopp;

typedef void (*png_error_ptr) (png_structp, png_const_charp);
typedef void (*png_rw_ptr) (png_structp, png_bytep, png_size_t);
typedef void (*png_flush_ptr) (png_structp);

struct png_codec_state;

// error_ptr is read by the caller's error handler, as in libpng.
struct png_struct_def
{
    void* error_ptr;
    png_error_ptr error_fn;
    png_error_ptr warning_fn;
    void* io_ptr;
    png_rw_ptr read_fn;
    png_rw_ptr write_fn;
    struct png_codec_state* state;
};

png_structp png_create_read_struct (png_const_charp version, void* error_ptr, png_error_ptr error_fn, png_error_ptr warn_fn);
png_structp png_create_write_struct (png_const_charp version, void* error_ptr, png_error_ptr error_fn, png_error_ptr warn_fn);
png_infop png_create_info_struct (png_structp png);
void png_destroy_read_struct (png_structpp png, png_infopp info, png_infopp end_info);
void png_destroy_write_struct (png_structpp png, png_infopp info);

void png_set_error_fn (png_structp png, void* error_ptr, png_error_ptr error_fn, png_error_ptr warning_fn);
void png_set_read_fn (png_structp png, void* io_ptr, png_rw_ptr read_fn);
void png_set_write_fn (png_structp png, void* io_ptr, png_rw_ptr write_fn, png_flush_ptr flush_fn);
void* png_get_io_ptr (png_structp png);

void png_read_info (png_structp png, png_infop info);
png_uint_32 png_get_IHDR (png_structp png, png_infop info, png_uint_32* width, png_uint_32* height, int* bit_depth,
                          int* color_type, int* interlace_method, int* compression_method, int* filter_method);
png_uint_32 png_get_valid (png_structp png, png_infop info, png_uint_32 flag);
png_uint_32 png_get_tRNS (png_structp png, png_infop info, png_bytep* trans_alpha, int* num_trans, png_color_16p* trans_color);
void png_set_strip_16 (png_structp png);
void png_set_expand (png_structp png);
void png_set_gray_to_rgb (png_structp png);
void png_set_add_alpha (png_structp png, png_uint_32 filler, int flags);
void png_read_image (png_structp png, png_bytepp rows);
void png_read_end (png_structp png, png_infop info);

void png_set_IHDR (png_structp png, png_infop info, png_uint_32 width, png_uint_32 height, int bit_depth,
                   int color_type, int interlace_method, int compression_method, int filter_method);
void png_set_sBIT (png_structp png, png_infop info, png_color_8p sig_bit);
void png_set_shift (png_structp png, png_color_8p true_bits);
void png_set_packing (png_structp png);
void png_write_info (png_structp png, png_infop info);
void png_write_rows (png_structp png, png_bytepp rows, png_uint_32 num_rows);
void png_write_end (png_structp png, png_infop info);
