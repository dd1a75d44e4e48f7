#pragma once

// libgsf, loaded the first time a compound file is read or written. A run
// over .xlsx files alone never needs it, and loading it with the GLib
// libraries under it costs every process a few milliseconds at start.

// GLib's headers name struct members "signals", which Qt's headers define
// as a keyword: libgsf comes first.
#include <gsf/gsf.h>

#include <QString>

namespace Excel {
namespace Biff {

#define KORRIN_LIBGSF_FUNCTIONS(F)                                                                                    \
    F(gsf_init)                                                                                                        \
    F(g_log_set_handler)                                                                                               \
    F(g_object_unref)                                                                                                  \
    F(g_error_free)                                                                                                    \
    F(g_date_time_new_from_unix_utc)                                                                                   \
    F(g_date_time_add)                                                                                                 \
    F(g_date_time_unref)                                                                                               \
    F(g_date_time_to_unix)                                                                                             \
    F(g_date_time_get_microsecond)                                                                                     \
    F(gsf_input_memory_new)                                                                                            \
    F(gsf_input_get_modtime)                                                                                           \
    F(gsf_input_size)                                                                                                  \
    F(gsf_input_read)                                                                                                  \
    F(gsf_infile_msole_new)                                                                                            \
    F(gsf_infile_msole_get_class_id)                                                                                   \
    F(gsf_infile_num_children)                                                                                         \
    F(gsf_infile_child_by_index)                                                                                       \
    F(gsf_infile_name_by_index)                                                                                        \
    F(gsf_output_memory_new)                                                                                           \
    F(gsf_output_memory_get_bytes)                                                                                     \
    F(gsf_output_size)                                                                                                 \
    F(gsf_output_write)                                                                                                \
    F(gsf_output_close)                                                                                                \
    F(gsf_output_set_modtime)                                                                                          \
    F(gsf_outfile_msole_new_full)                                                                                      \
    F(gsf_outfile_msole_set_class_id)                                                                                  \
    F(gsf_outfile_new_child)

// The functions used, under their own names.
struct LibGsf
{
#define KORRIN_LIBGSF_MEMBER(name) decltype(&::name) name = nullptr;
    KORRIN_LIBGSF_FUNCTIONS(KORRIN_LIBGSF_MEMBER)
#undef KORRIN_LIBGSF_MEMBER
};

// The library, loaded and initialised once (its log kept quiet); null with
// the reason when it cannot be loaded.
const LibGsf *libGsf(QString *error);

} // namespace Biff
} // namespace Excel
