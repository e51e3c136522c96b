// SPDX-License-Identifier: MIT
#pragma once

// cairo's and libpng's functions as the picture code calls them: through
// pointers resolved when the first picture is drawn, so --version and runs
// without pictures never map either library (nor pixman, fontconfig and
// freetype behind cairo). Included by the picture code only.
#include <cairo.h>
#include <png.h>

namespace orvel {

// Every function the picture code calls, with its library: the one list the
// table and its loader are made from.
#define KESTRONE_PICTURE_FUNCTIONS(X)               \
    X(cairo, cairo_clip)                            \
    X(cairo, cairo_create)                          \
    X(cairo, cairo_destroy)                         \
    X(cairo, cairo_font_options_create)             \
    X(cairo, cairo_font_options_destroy)            \
    X(cairo, cairo_font_options_set_antialias)      \
    X(cairo, cairo_font_options_set_hint_metrics)   \
    X(cairo, cairo_font_options_set_hint_style)     \
    X(cairo, cairo_font_options_set_subpixel_order) \
    X(cairo, cairo_image_surface_create)            \
    X(cairo, cairo_image_surface_get_data)          \
    X(cairo, cairo_image_surface_get_stride)        \
    X(cairo, cairo_line_to)                         \
    X(cairo, cairo_move_to)                         \
    X(cairo, cairo_paint)                           \
    X(cairo, cairo_rectangle)                       \
    X(cairo, cairo_restore)                         \
    X(cairo, cairo_save)                            \
    X(cairo, cairo_select_font_face)                \
    X(cairo, cairo_set_dash)                        \
    X(cairo, cairo_set_font_options)                \
    X(cairo, cairo_set_font_size)                   \
    X(cairo, cairo_set_line_width)                  \
    X(cairo, cairo_set_source_rgb)                  \
    X(cairo, cairo_show_text)                       \
    X(cairo, cairo_status)                          \
    X(cairo, cairo_status_to_string)                \
    X(cairo, cairo_stroke)                          \
    X(cairo, cairo_surface_destroy)                 \
    X(cairo, cairo_surface_flush)                   \
    X(cairo, cairo_surface_mark_dirty)              \
    X(cairo, cairo_surface_status)                  \
    X(cairo, cairo_text_extents)                    \
    X(png, png_create_info_struct)                  \
    X(png, png_create_write_struct)                 \
    X(png, png_destroy_write_struct)                \
    X(png, png_error)                               \
    X(png, png_get_error_ptr)                       \
    X(png, png_get_io_ptr)                          \
    X(png, png_longjmp)                             \
    X(png, png_set_IHDR)                            \
    X(png, png_set_compression_level)               \
    X(png, png_set_filter)                          \
    X(png, png_set_longjmp_fn)                      \
    X(png, png_set_write_fn)                        \
    X(png, png_write_end)                           \
    X(png, png_write_info)                          \
    X(png, png_write_row)

struct PictureApi {
#define KESTRONE_PICTURE_POINTER(library, name) decltype(&::name) name = nullptr;
    KESTRONE_PICTURE_FUNCTIONS(KESTRONE_PICTURE_POINTER)
#undef KESTRONE_PICTURE_POINTER
};

// The table, loaded on first use and kept; throws std::runtime_error naming
// the library (and the loader's reason) when one cannot be loaded or lacks a
// function.
[[nodiscard]] const PictureApi& pictureApi();

} // namespace orvel
