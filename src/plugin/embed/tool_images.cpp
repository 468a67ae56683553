// The tool images, included byte for byte by the assembler from the files the build made
// (paths and section name come from cmake/tools.cmake).
#define QUORLEX_STR2(x) #x
#define QUORLEX_STR(x) QUORLEX_STR2(x)
#define QUORLEX_SYM(name) QUORLEX_STR(__USER_LABEL_PREFIX__) #name

// An empty file name means "no image": both labels mark the same place.
#define QUORLEX_IMAGE(name, file)                                   \
    "  .globl " QUORLEX_SYM(name) "\n"                              \
    "  .globl " QUORLEX_SYM(name##End) "\n"                         \
    "  .balign 16\n" QUORLEX_SYM(name) ":\n"                        \
    "  .ifnc \"" file "\",\"\"\n"                                   \
    "  .incbin \"" file "\"\n"                                      \
    "  .endif\n" QUORLEX_SYM(name##End) ":\n"

__asm__("  .section " QUORLEX_RODATA "\n"
        QUORLEX_IMAGE(RarToolImage, QUORLEX_RAR_TOOL_FILE)
        QUORLEX_IMAGE(SevenZipImage, QUORLEX_SEVEN_ZIP_FILE)
        "  .text\n");
