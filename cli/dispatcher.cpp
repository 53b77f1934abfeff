#include "cli/dispatcher.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/operation_table.h"

namespace {

bool word_is(const char* word, const char* keyword) { return strcasecmp(word, keyword) == 0; }

// "false" and "0" turn a flag off; any other word turns it on.
bool flag_word(const char* word) { return !(word_is(word, "false") || word_is(word, "0")); }

void set_color_fix_mode(const char* word, Command* command) {
  if (word_is(word, "fix_palette")) {
    command->fix_transparent = false;
    command->fix_palette = true;
  } else {
    command->fix_transparent = flag_word(word);
    command->fix_palette = false;
  }
}

// strtol in base 16: "30" is 0x30, "0x30" too, anything else 0. Words beyond
// 32 signed bits saturate, as a 32-bit long does, so that an offset too large
// is refused as too large rather than read in its low bits.
uint32_t hex_word(const char* word) {
  long value = std::strtol(word, nullptr, 16);
  if (value > 0x7FFFFFFFL) value = 0x7FFFFFFFL;
  if (value < -0x7FFFFFFFL - 1) value = -0x7FFFFFFFL - 1;
  return static_cast<uint32_t>(value);
}

const char* text_word(const char* word) { return word_is(word, "default") ? nullptr : word; }

// Sets what one optional word of the row stands for.
void convert_optional(OptionalWord kind, const char* word, Command* c) {
  switch (kind) {
    case OptionalWord::kNone:
      break;
    case OptionalWord::kOffset:
      c->offset = hex_word(word);
      break;
    case OptionalWord::kColourFixMode:
      set_color_fix_mode(word, c);
      break;
    case OptionalWord::kTransparentFlag:
      c->fix_transparent = flag_word(word);
      break;
    case OptionalWord::kIgnoreMissing:
      c->ignore_missing_files = flag_word(word);
      break;
    case OptionalWord::kNText:
      c->n_text = text_word(word);
      break;
    case OptionalWord::kFText:
      c->f_text = text_word(word);
      break;
  }
}

struct UsageItem {
  bool formatted;  // the program name where the line says %s; otherwise a line through puts
  const char* text;
};

const UsageItem kUsageText[] = {
    {true, "Usage: %s operation parameters\n"},
    {false, "Operation is one of translate, dump, dump_rr, completion, extract_dc, insert_dc, extract_lzss_dc, insert_lzss_dc, extract_pp, insert_pp, extract_lzss_pp, insert_lzss_pp, extract_lzss_pp4, insert_lzss_pp4, extract_mato, insert_mato, extract_lzss_mato, insert_lzss_mato\n"},
    {false, "translate:"},
    {true, "%s translate input_iso output_iso input_ini\n"},
    {false, "It translates input_iso using input_ini and outputs output_iso"},
    {true, "Eg: %s translate Talvo_Zorv1.iso Talvo_Zorv1_English.iso talvo_eng.ini\n\n"},
    {false, "dump:"},
    {true, "%s dump input_iso output_ini\n"},
    {false, "It dumps texts of input_iso into output_ini."},
    {true, "Eg: %s dump Talvo_Zorv1.iso talvo_jpn.ini\n\n"},
    {false, "dump_rr:"},
    {true, "%s dump_rr input_iso output_ini\n"},
    {false, "It dumps texts of input_iso into output_ini and automatically removes redundancy by using the user_linking feature."},
    {true, "Eg: %s dump_rr Talvo_Zorv1.iso talvo_jpn_without_redundancy.ini\n\n"},
    {false, "completion:"},
    {true, "%s completion translation_ini japanese_ini\n"},
    {false, "It compares an ini file against japanese one to calculate completion"},
    {true, "Eg: %s completion talvo_eng.ini talvo_jpn.ini\n\n"},
    {false, "extract_dc:"},
    {true, "%s extract_dc input_iso iso_file_path bmp_output [offset]\n"},
    {false, "It extracts a 16 bits image with a \"DC\" header to a 24 bits bmp."},
    {false, "An optional parameter offset in hexadecimal format can be specified to indicate the start of the data in the file, otherwise, 0 is assumed."},
    {true, "Eg: %s extract_dc Talvo_Zorv1.iso /MKRT/NOWLOAD1.DG2 NOWLOAD1.BMP\n"},
    {true, "Eg: %s extract_dc Talvo_Zorv1.iso /MKRT/CHG.TEX CHG_00000030.BMP 30\n\n"},
    {false, "insert_dc:"},
    {true, "%s insert_dc inout_iso iso_file_path bmp_input [offset]\n"},
    {false, "It inserts a 24 bmp into an already EXISTING 16 bits image file with \"DC\" header."},
    {false, "An optional parameter offset in hexadecimal format can be specified to indicate the start of the data in the file, otherwise, 0 is assumed."},
    {false, "The BMP file must have same width and height as the DC image."},
    {false, "Beware, the 24->16 bits conversion is lossy, so if you extract the image later using extract_dc, it may not be binary identical."},
    {true, "Eg: %s insert_dc Talvo_English1.iso /MKRT/NOWLOAD1.DG2 NOWLOAD1.BMP\n"},
    {true, "Eg: %s insert_dc Talvo_English1.iso /MKRT/CHG.TEX CHG_00000030.BMP 30\n\n"},
    {false, "extract_lzss_dc:"},
    {true, "%s extract_lzss_dc input_iso iso_file_path bmp_output\n"},
    {false, "It extracts a 16 bits image with a \"DC\" header that is LZSS compressed to a 24 bits bmp."},
    {true, "Eg: %s extract_lzss_dc Talvo_Zorv1.iso /MKRT/EV/EVA32B.DGP EVA32B.BMP\n\n"},
    {false, "insert_lzss_dc:"},
    {true, "%s insert_lzss_dc inout_iso iso_file_path bmp_input\n"},
    {false, "It inserts a 24 bmp into an already EXISTING 16 bits image file with \"DC\" header that is LZSS compressed."},
    {false, "The BMP file must have same width and height as the LZSS compressed DC image."},
    {true, "Eg: %s insert_lzss_dc Talvo_English1.iso /MKRT/EV/EVA32B.DGP EVA32B.BMP\n\n"},
    {false, "extract_pp:"},
    {true, "%s extract_pp input_iso iso_file_path bmp_output [offset]\n"},
    {false, "It extracts a file with \"PP\" header with a 256 colours palette (each color 16 bits) to a 8 bits BMP with 256 colours palette (each color 32 bits)."},
    {false, "An optional parameter offset in hexadecimal format can be specified to indicate the start of the data in the file, otherwise, 0 is assumed."},
    {true, "Eg: %s extract_pp Talvo_Zorv1.iso /MKRT/SAVEP.TEX SAVEP_00000028.BMP 28\n\n"},
    {false, "insert_pp:"},
    {true, "%s insert_pp inout_iso iso_file_path bmp_input [offset] [color_fix_mode]\n"},
    {false, "It inserts a 8 bits bmp with 256 colours palette (each color 32 bits) into a file with \"PP\" header with a 256 colours palette (each color 16 bits)."},
    {false, "An optional parameter offset in hexadecimal format can be specified to indicate the start of the data in the file, otherwise, 0 is assumed."},
    {false, "The optional parameter color_fix_mode can have the following values: false (the program does nothing), true (default, the program attempts to fix the transparent color if it was reordered)and fix_palette (recommended, the program will scan the palette and do a full reorder of the palette to match the original image."},
    {false, "The BMP file must have same width and height as the PP image."},
    {false, "Beware, the 32->16 bits conversion in the colours of the palette is lossy, so if you extract the image later using extract_pp, it may not be binary identical."},
    {true, "Eg: %s insert_pp Talvo_English1.iso /MKRT/SAVEP.TEX SAVEP_00000028.BMP 28\n\n"},
    {false, "extract_lzss_pp:"},
    {true, "%s extract_lzss_pp input_iso iso_file_path bmp_output\n"},
    {false, "It extracts a file with \"PP\" header with a 256 colours palette (each color 16 bits) and LZSS compressed to a 8 bits BMP with 256 colours palette (each color 32 bits)."},
    {true, "Eg: %s extract_lzss_pp Talvo_Zorv1.iso /MKRT/BG/BG09.DGP BG09.BMP\n\n"},
    {false, "insert_lzss_pp:"},
    {true, "%s insert_lzss_pp inout_iso iso_file_path bmp_input [color_fix_mode]\n"},
    {false, "It inserts a 8 bits bmp with 256 colours palette (each color 32 bits) into a file with \"PP\" header with a 256 colours palette (each color 16 bits) which is LZSS compressed."},
    {false, "The optional parameter color_fix_mode can have the following values: false (the program does nothing), true (default, the program attempts to fix the transparent color if it was reordered)and fix_palette (recommended, the program will scan the palette and do a full reorder of the palette to match the original image."},
    {false, "The BMP file must have same width and height as the PP image."},
    {false, "Beware, the 32->16 bits conversion in the colours of the palette is lossy, so if you extract the image later using extract_pp, it may not be binary identical."},
    {true, "Eg: %s insert_lzss_pp Talvo_English1.iso /MKRT/BG/BG09.DGP BG09.BMP\n\n"},
    {false, "extract_lzss_pp4:"},
    {true, "%s extract_lzss_pp4 input_iso iso_file_path bmp_output\n"},
    {false, "It extracts a file with \"pp\" (lowercase) header with a 16 colours palette (each color 16 bits) and LZSS compressed to a 4 bits BMP with 16 colours palette (each color 32 bits)."},
    {true, "Eg: %s extract_lzss_pp4 Talvo_Zorv1.iso /MKRT/SP/WA_JYUL.DGP WA_JYUL.BMP\n\n"},
    {false, "insert_lzss_pp4:"},
    {true, "%s insert_lzss_pp4 inout_iso iso_file_path bmp_input\n"},
    {false, "It inserts a 4 bits bmp with 16 colours palette (each color 32 bits) into a file with \"pp\" (lowercase) header with a 16 colours palette (each color 16 bits) which is LZSS compressed."},
    {false, "The BMP file must have same width and height as the PP image."},
    {false, "Beware, the 32->16 bits conversion in the colours of the palette is lossy, so if you extract the image later using extract_pp4, it may not be binary identical."},
    {true, "Eg: %s insert_lzss_pp4 Talvo_English1.iso /MKRT/SP/WA_JYUL.DGP WA_JYUL.BMP\n\n"},
    {false, "extract_mato:"},
    {true, "%s extract_mato input_iso iso_file_path bmp_output_prefix\n"},
    {false, "It extracts a mato container to bmp files. File names of bmp will be bmp_output_prefix_XXXXXXXX.bmp, where XXXXXXXX is the offset they are in the mato file."},
    {false, "The format of BMP files will be either 24 or 8 bits, according to the format of the each file inside the mato."},
    {true, "Eg: %s extract_mato Talvo_Zorv1.iso /MKRT/CHG.TEX CHG\n\n"},
    {false, "insert_mato:"},
    {true, "%s insert_mato inout_iso iso_file_path bmp_infile_prefix [colour_fix_mode] [ignore_missing_files]\n"},
    {false, "It inserts several bmp files into a mato container. File names of bmp must be in the same format as dumped by extract_mato."},
    {false, "Optional parameter colour_fix_mode is identical to the one in insert_pp, and it is only used for pp images inside mato. For DC images, this parameter is ignored."},
    {false, "Optional parameter ignore_missing_files: if set to true, the program won't output warning about missing files."},
    {false, "The BMP files must be 24 bits for the DC's in the container, 8 bits for the PP's. Width and heigh must be same as the ones already existing."},
    {true, "Eg: %s insert_mato Talvo_English1.iso /MKRT/CHG.TEX CHG\n\n"},
    {false, "extract_lzss_mato:"},
    {true, "%s extract_lzss_mato input_iso iso_file_path bmp_output_prefix\n"},
    {false, "It extracts a mato container compressed in LZSS to bmp files. File names of bmp will be bmp_output_prefix_XXXXXXXX.bmp, where XXXXXXXX is the offset they are in the mato file."},
    {false, "The format of BMP files will be either 24 or 8 bits, according to the format of the each file inside the mato."},
    {true, "Eg: %s extract_lzss_mato Talvo_Zorv1.iso /MKRT/FC/FC01A.CHP FC01A\n\n"},
    {false, "insert_lzss_mato:"},
    {true, "%s insert_lzss_mato inout_iso iso_file_path bmp_infile_prefix\n"},
    {false, "It inserts several bmp files into a mato container that is LZSS compressed. File names of bmp must be in the same format as dumped by extract_mato."},
    {false, "Optional parameter colour_fix_mode is identical to the one in insert_pp, and it is only used for pp images inside mato. For DC images, this parameter is ignored."},
    {false, "Optional parameter ignore_missing_files: if set to true, the program won't output warning about missing files."},
    {false, "The BMP files must be 24 bits for the DC's in the container, 8 bits for the PP's. Width and heigh must be same as the ones already existing."},
    {true, "Eg: %s insert_lzss_mato Talvo_English1.iso /MKRT/FC/FC01A.CHP FC01A\n\n"},
    {false, "extract_all_images:"},
    {true, "%s extract_all_images input_iso output_folder\n"},
    {false, "It extracts all images of the given input iso into the given output folder."},
    {true, "Eg: %s extract_all_images Talvo_Zorv1.iso mynewfolder\n\n"},
    {false, "replace_file:"},
    {true, "%s replace_file inout_iso iso_file_path local_file\n"},
    {false, "It replaces a file in the iso with the specified local file."},
    {true, "Eg: %s replace_file Talvo_English1.iso FONTDATA/ASCII16.FON ASCII16.FON.\n"},
    {false, ""},
    {false, "verify:"},
    {true, "%s verify input_iso translated_iso input_ini [n_text] [f_text]\n"},
    {false, "It checks that every text of input_ini made it into translated_iso, the result of translate on input_iso with the same names for %N and %F."},
    {false, "It prints one line per text that differs and exits with 0 only when all match."},
    {true, "Eg: %s verify Talvo_Zorv1.iso Talvo_Zorv1_English.iso talvo_eng.ini\n\n"},
    {false, "list:"},
    {true, "%s list input_iso [folder]\n"},
    {false, "It lists every file under folder (the whole disc by default): path, size in bytes, first sector and what the file holds (DC, PP, pp, mato, LZSS and what it packs, scn day file or other)."},
    {true, "Eg: %s list Talvo_Zorv1.iso /MKRT/SP\n"},
};

}  // namespace

bool parse_command_line(int argc, const char* const* argv, Command* command) {
  if (argc < 2 || argv[1] == nullptr) return false;
  int param_count = argc - 2;
  for (size_t r = 0; r < kOperationRowCount; ++r) {
    const OperationRow& row = kOperationRows[r];
    if (!word_is(argv[1], row.name)) continue;
    if (param_count < row.min_params || param_count > row.max_params) continue;
    *command = Command();
    command->name = row.name;
    command->run = row.run;
    command->params = argv + 2;
    command->param_count = param_count;
    for (int i = row.min_params; i < param_count; ++i) {
      convert_optional(row.optional[i - row.min_params], command->params[i], command);
    }
    return true;
  }
  return false;
}

int run_command(const Command& command) { return command.run(command.params, command); }

void usage(const char* program, FILE* out) {
  for (const UsageItem& item : kUsageText) {
    // A formatted line names the program once, where it says %s.
    const char* name_at = item.formatted ? std::strstr(item.text, "%s") : nullptr;
    if (name_at) {
      std::fwrite(item.text, 1, static_cast<size_t>(name_at - item.text), out);
      std::fputs(program, out);
      std::fputs(name_at + 2, out);
    } else {
      std::fputs(item.text, out);
      std::fputc('\n', out);
    }
  }
}

int talvo_main(int argc, char** argv) {
  // Asked for, the usage text is an answer, not a complaint: stdout, status 0.
  if (argc == 2 && argv[1] && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    usage(argv[0] ? argv[0] : "talvo");
    return 0;
  }
  if (argc == 2 && argv[1] && std::strcmp(argv[1], "--version") == 0) {
    std::printf("talvo %s\n", TALVO_VERSION);
    return 0;
  }
  Command command;
  if (!parse_command_line(argc, argv, &command)) {
    // Started without a name (argc 0), the program calls itself by its own.
    usage(argc > 0 && argv[0] ? argv[0] : "talvo");
    return -1;
  }
  return run_command(command);
}
