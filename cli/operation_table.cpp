// The rows of the operation table, each calling its operation and mapping the
// result to the process status: 0 when it did its job, 1 when it stopped on
// an error; translate returns its own status (0 or -1).
#include "cli/operation_table.h"

#include "files/replace_file.h"
#include "images/extract_all.h"
#include "images/image_operations.h"
#include "images/list_files.h"
#include "images/lzss_operations.h"
#include "translation/dump.h"
#include "translation/generators.h"
#include "translation/reports.h"
#include "translation/translate.h"
#include "translation/verify.h"

namespace {

int status(bool did_its_job) { return did_its_job ? 0 : 1; }

using W = OptionalWord;
using Words = const char* const*;

}  // namespace

const OperationRow kOperationRows[] = {
    {"dump", 2, 2, {}, [](Words p, const Command&) { return status(dump_iso(p[0], p[1], false)); }},
    {"dump_rr", 2, 2, {}, [](Words p, const Command&) { return status(dump_iso(p[0], p[1], true)); }},
    {"translate", 3, 5, {W::kNText, W::kFText},
     [](Words p, const Command& c) { return translate_iso(p[0], p[1], p[2], c.n_text, c.f_text); }},
    {"completion", 2, 2, {}, [](Words p, const Command&) { return status(check_percentage(p[0], p[1])); }},
    {"print_va_idx", 2, 2, {}, [](Words p, const Command&) { return status(print_va_idx(p[0], p[1])); }},
    {"print_ev_poffsets", 2, 2, {}, [](Words p, const Command&) { return status(print_ev_poffsets(p[0], p[1])); }},
    {"print_va_names", 2, 2, {}, [](Words p, const Command&) { return status(print_va_names(p[0], p[1])); }},
    {"extract_dc", 3, 4, {W::kOffset},
     [](Words p, const Command& c) { return status(extract_dc_to_bmp(p[0], p[1], p[2], c.offset)); }},
    {"insert_dc", 3, 4, {W::kOffset},
     [](Words p, const Command& c) { return status(insert_bmp_into_dc(p[0], p[1], p[2], c.offset)); }},
    {"uncompress_lzss", 3, 3, {}, [](Words p, const Command&) { return status(uncompress_lzss(p[0], p[1], p[2])); }},
    {"compress_lzss", 3, 3, {}, [](Words p, const Command&) { return status(compress_lzss(p[0], p[1], p[2])); }},
    {"extract_lzss_dc", 3, 3, {}, [](Words p, const Command&) { return status(extract_lzss_dc_to_bmp(p[0], p[1], p[2])); }},
    {"insert_lzss_dc", 3, 3, {}, [](Words p, const Command&) { return status(insert_bmp_into_lzss_dc(p[0], p[1], p[2])); }},
    {"extract_pp", 3, 4, {W::kOffset},
     [](Words p, const Command& c) { return status(extract_pp_to_bmp(p[0], p[1], p[2], c.offset)); }},
    {"insert_pp", 3, 5, {W::kOffset, W::kColourFixMode},
     [](Words p, const Command& c) {
       return status(insert_bmp_into_pp(p[0], p[1], p[2], c.offset, c.fix_transparent, c.fix_palette));
     }},
    {"extract_lzss_pp", 3, 3, {}, [](Words p, const Command&) { return status(extract_lzss_pp_to_bmp(p[0], p[1], p[2])); }},
    {"insert_lzss_pp", 3, 4, {W::kColourFixMode},
     [](Words p, const Command& c) {
       return status(insert_bmp_into_lzss_pp(p[0], p[1], p[2], c.fix_transparent, c.fix_palette));
     }},
    {"extract_lzss_pp4", 3, 3, {},
     [](Words p, const Command&) { return status(extract_lzss_pp4_to_bmp(p[0], p[1], p[2])); }},
    {"insert_lzss_pp4", 3, 4, {W::kTransparentFlag},
     [](Words p, const Command& c) { return status(insert_bmp_into_lzss_pp4(p[0], p[1], p[2], c.fix_transparent)); }},
    {"extract_mato", 3, 3, {}, [](Words p, const Command&) { return status(extract_mato(p[0], p[1], p[2])); }},
    {"insert_mato", 3, 5, {W::kColourFixMode, W::kIgnoreMissing},
     [](Words p, const Command& c) {
       return status(insert_mato(p[0], p[1], p[2], c.fix_transparent, c.ignore_missing_files, c.fix_palette));
     }},
    {"extract_lzss_mato", 3, 3, {}, [](Words p, const Command&) { return status(extract_lzss_mato(p[0], p[1], p[2])); }},
    {"insert_lzss_mato", 3, 5, {W::kColourFixMode, W::kIgnoreMissing},
     [](Words p, const Command& c) {
       return status(insert_lzss_mato(p[0], p[1], p[2], c.fix_transparent, c.ignore_missing_files, c.fix_palette));
     }},
    {"extract_all_images", 2, 2, {}, [](Words p, const Command&) { return status(extract_all_images(p[0], p[1])); }},
    {"copy_with_actor_comments", 3, 3, {},
     [](Words p, const Command&) { return status(copy_with_actor_comments(p[0], p[1], p[2])); }},
    {"replace_file", 3, 3, {}, [](Words p, const Command&) { return status(replace_file(p[0], p[1], p[2])); }},
    {"check_ini", 1, 1, {}, [](Words p, const Command&) { return status(check_ini(p[0])); }},
    {"verify", 3, 5, {W::kNText, W::kFText},
     [](Words p, const Command& c) { return verify_iso(p[0], p[1], p[2], c.n_text, c.f_text); }},
    {"list", 1, 2, {},
     [](Words p, const Command& c) { return status(list_files(p[0], c.param_count > 1 ? p[1] : nullptr)); }},
};

const size_t kOperationRowCount = sizeof(kOperationRows) / sizeof(kOperationRows[0]);
