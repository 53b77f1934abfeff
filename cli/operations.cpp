// Runs the operation a command line chose, mapping each operation's result
// to the process status: 0 when it did its job, 1 when it stopped on an
// error; translate returns its own status (0 or -1).
#include "cli/dispatcher.h"
#include "cli/image_files.h"
#include "images/extract_all.h"
#include "images/image_operations.h"
#include "images/lzss.h"
#include "translation/dump.h"
#include "translation/generators.h"
#include "translation/reports.h"
#include "translation/translate.h"

namespace {

int status(bool did_its_job) { return did_its_job ? 0 : 1; }

}  // namespace

int run_command(const Command& c) {
  const char* const* p = c.params;
  switch (c.operation) {
    case Operation::kDump:
      return status(dump_iso(p[0], p[1], false));
    case Operation::kDumpRr:
      return status(dump_iso(p[0], p[1], true));
    case Operation::kTranslate:
      return translate_iso(p[0], p[1], p[2], c.n_text, c.f_text);
    case Operation::kCompletion:
      return status(check_percentage(p[0], p[1]));
    case Operation::kPrintVaIdx:
      return status(print_va_idx(p[0], p[1]));
    case Operation::kPrintEvPoffsets:
      return status(print_ev_poffsets(p[0], p[1]));
    case Operation::kPrintVaNames:
      return status(print_va_names(p[0], p[1]));
    case Operation::kExtractDc:
      return status(extract_dc_to_bmp(p[0], p[1], p[2], c.offset));
    case Operation::kInsertDc:
      return status(insert_bmp_into_dc(p[0], p[1], p[2], c.offset));
    case Operation::kUncompressLzss:
      return status(uncompress_lzss(p[0], p[1], p[2]));
    case Operation::kCompressLzss:
      return status(compress_lzss(p[0], p[1], p[2]));
    case Operation::kExtractLzssDc:
      return status(extract_lzss_dc_to_bmp(p[0], p[1], p[2]));
    case Operation::kInsertLzssDc:
      return status(insert_bmp_into_lzss_dc(p[0], p[1], p[2]));
    case Operation::kExtractPp:
      return status(extract_pp_to_bmp(p[0], p[1], p[2], c.offset));
    case Operation::kInsertPp:
      return status(insert_bmp_into_pp(p[0], p[1], p[2], c.offset, c.fix_transparent, c.fix_palette));
    case Operation::kExtractLzssPp:
      return status(extract_lzss_pp_to_bmp(p[0], p[1], p[2]));
    case Operation::kInsertLzssPp:
      return status(insert_bmp_into_lzss_pp(p[0], p[1], p[2], c.fix_transparent, c.fix_palette));
    case Operation::kExtractLzssPp4:
      return status(extract_lzss_pp4_to_bmp(p[0], p[1], p[2]));
    case Operation::kInsertLzssPp4:
      return status(insert_bmp_into_lzss_pp4(p[0], p[1], p[2], c.fix_transparent));
    case Operation::kExtractMato:
      return status(extract_mato(p[0], p[1], p[2]));
    case Operation::kInsertMato:
      return status(insert_mato(p[0], p[1], p[2], c.fix_transparent, c.ignore_missing_files, c.fix_palette));
    case Operation::kExtractLzssMato:
      return status(extract_lzss_mato(p[0], p[1], p[2]));
    case Operation::kInsertLzssMato:
      return status(
          insert_lzss_mato(p[0], p[1], p[2], c.fix_transparent, c.ignore_missing_files, c.fix_palette));
    case Operation::kExtractAllImages:
      return status(extract_all_images(p[0], p[1]));
    case Operation::kCopyWithActorComments:
      return status(copy_with_actor_comments(p[0], p[1], p[2]));
    case Operation::kReplaceFile:
      return status(replace_file(p[0], p[1], p[2]));
    case Operation::kCheckIni:
      return status(check_ini(p[0]));
  }
  return 1;
}
