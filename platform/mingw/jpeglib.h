#pragma once

// The part of libjpeg's interface that JUCE's JPEG loader and writer call,
// decoded and encoded by stb_image (StbImageCodecs.cpp), for the same reason
// as png.h. Decoding yields 8-bit RGB scanlines; encoding takes them.

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef TRUE
 #define TRUE 1
#endif
#ifndef FALSE
 #define FALSE 0
#endif

#define JPOOL_PERMANENT 0
#define JPOOL_IMAGE 1

typedef unsigned char boolean;
typedef unsigned char JSAMPLE;
typedef unsigned char JOCTET;
typedef unsigned int JDIMENSION;
typedef JSAMPLE* JSAMPROW;
typedef JSAMPROW* JSAMPARRAY;

typedef enum { JCS_UNKNOWN, JCS_GRAYSCALE, JCS_RGB } J_COLOR_SPACE;
typedef enum { JDCT_ISLOW, JDCT_IFAST, JDCT_FLOAT } J_DCT_METHOD;

typedef struct jpeg_common_struct* j_common_ptr;
typedef struct jpeg_decompress_struct* j_decompress_ptr;
typedef struct jpeg_compress_struct* j_compress_ptr;

struct jpeg_error_mgr
{
    void (*error_exit) (j_common_ptr);
    void (*emit_message) (j_common_ptr, int);
    void (*output_message) (j_common_ptr);
    void (*format_message) (j_common_ptr, char*);
    void (*reset_error_mgr) (j_common_ptr);
};

struct jpeg_memory_mgr
{
    void* (*alloc_small) (j_common_ptr, int pool, size_t size);
    JSAMPARRAY (*alloc_sarray) (j_common_ptr, int pool, JDIMENSION samples_per_row, JDIMENSION num_rows);
};

struct jpeg_source_mgr
{
    const JOCTET* next_input_byte;
    size_t bytes_in_buffer;
    void (*init_source) (j_decompress_ptr);
    boolean (*fill_input_buffer) (j_decompress_ptr);
    void (*skip_input_data) (j_decompress_ptr, long);
    boolean (*resync_to_restart) (j_decompress_ptr, int);
    void (*term_source) (j_decompress_ptr);
};

struct jpeg_destination_mgr
{
    JOCTET* next_output_byte;
    size_t free_in_buffer;
    void (*init_destination) (j_compress_ptr);
    boolean (*empty_output_buffer) (j_compress_ptr);
    void (*term_destination) (j_compress_ptr);
};

struct jpeg_codec_state;

// The fields both structs begin with, as in libjpeg.
#define JPEG_COMMON_FIELDS \
    struct jpeg_error_mgr* err; \
    struct jpeg_memory_mgr* mem; \
    void* client_data; \
    boolean is_decompressor; \
    struct jpeg_codec_state* state

struct jpeg_common_struct
{
    JPEG_COMMON_FIELDS;
};

struct jpeg_decompress_struct
{
    JPEG_COMMON_FIELDS;
    struct jpeg_source_mgr* src;
    JDIMENSION output_width, output_height;
    J_COLOR_SPACE out_color_space;
    JDIMENSION output_scanline;
};

struct jpeg_compress_struct
{
    JPEG_COMMON_FIELDS;
    struct jpeg_destination_mgr* dest;
    JDIMENSION image_width, image_height;
    int input_components;
    J_COLOR_SPACE in_color_space;
    boolean write_JFIF_header;
    unsigned short X_density, Y_density;
    J_DCT_METHOD dct_method;
    boolean optimize_coding;
    int quality;
    JDIMENSION next_scanline;
};

void jpeg_CreateDecompress (j_decompress_ptr cinfo);
void jpeg_CreateCompress (j_compress_ptr cinfo);
#define jpeg_create_decompress(cinfo) jpeg_CreateDecompress (cinfo)
#define jpeg_create_compress(cinfo) jpeg_CreateCompress (cinfo)
void jpeg_destroy_decompress (j_decompress_ptr cinfo);
void jpeg_destroy_compress (j_compress_ptr cinfo);

int jpeg_read_header (j_decompress_ptr cinfo, boolean require_image);
void jpeg_calc_output_dimensions (j_decompress_ptr cinfo);
boolean jpeg_start_decompress (j_decompress_ptr cinfo);
JDIMENSION jpeg_read_scanlines (j_decompress_ptr cinfo, JSAMPARRAY scanlines, JDIMENSION max_lines);
boolean jpeg_finish_decompress (j_decompress_ptr cinfo);
boolean jpeg_resync_to_restart (j_decompress_ptr cinfo, int desired);

void jpeg_set_defaults (j_compress_ptr cinfo);
void jpeg_set_quality (j_compress_ptr cinfo, int quality, boolean force_baseline);
void jpeg_start_compress (j_compress_ptr cinfo, boolean write_all_tables);
JDIMENSION jpeg_write_scanlines (j_compress_ptr cinfo, JSAMPARRAY scanlines, JDIMENSION num_lines);
void jpeg_finish_compress (j_compress_ptr cinfo);

#ifdef __cplusplus
}
#endif
