// quorlex convert abp|kingsoft|sitelist FILE...
#include <cstdio>
#include <functional>
#include <utility>

#include "cli.h"
#include "common/xml_reader.h"
#include "platform/files.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/kingsoft_convert.h"
#include "rules/sources/sitelist_convert.h"
#include "common/encoding.h"

namespace {

struct Lists {
    Text black, white;
};

// Each converter reads its input exactly as the plug-in's source step does. The file's bytes are
// handed over, so that a converter can let go of them once it holds the text it converts.
bool ConvertAbp(ByteBuffer&& bytes, const Text&, Lists& out) {
    Text list = Utf8ToGbk(bytes);
    ByteBuffer().swap(bytes);
    const ChinaListBuckets b = ConvertChinaList(list, [](const Text& rule) { Say("信息：" + rule); });
    Text().swap(list);
    out.black = MergeRuleBuckets({&out.black, &b.block, &b.hide});
    out.white = MergeRuleBuckets({&out.white, &b.white});
    return true;
}

bool ConvertKingsoft(ByteBuffer&& bytes, const Text&, Lists& out) {
    const Text rules = ConvertKingsoftList(TextUpTo0(StripUtf8Bom(bytes)));
    out.black = MergeRuleBuckets({&out.black, &rules});
    return true;
}

bool ConvertSiteList(ByteBuffer&& bytes, const Text& name, Lists& out) {
    XmlReader reader;
    SiteListRules rules;
    if (!ConvertSiteListText(Utf8ToGbk(StripUtf8Bom(bytes)), reader, rules)) {
        Say(name + ": not a SiteList file (规则文件读取失败！)");
        return false;
    }
    out.black = MergeRuleBuckets({&out.black, &rules.blockRules});
    out.white = MergeRuleBuckets({&out.white, &rules.whiteRules});
    return true;
}

struct Format {
    const char* name;
    bool (*convert)(ByteBuffer&& bytes, const Text& name, Lists& out);
    const char* what;
};

const Format kFormats[] = {
    {"abp", ConvertAbp, "an Adblock Plus list (UTF-8), converted as the ChinaList Lazy list"},
    {"kingsoft", ConvertKingsoft, "a Kingsoft URL blacklist (GBK)"},
    {"sitelist", ConvertSiteList, "a Maxthon SiteList.xml, or a directory holding one"},
};

int Usage() {
    Text help =
        "usage: quorlex convert abp|kingsoft|sitelist [--black-only|--white-only] [--utf8] FILE...\n"
        "Converts each FILE into browser rules with the plug-in's own converter and writes them to\n"
        "standard output, one per line: the blacklist rules, a line \"[white]\", the whitelist rules.\n"
        "Output is GBK unless --utf8 is given.\n";
    for (const Format& f : kFormats) help += HelpLine(f.name, f.what, 10);
    Print(stderr, help, true);
    return 2;
}

}  // namespace

int RunConvert(const Args& args) {
    const Format* format = nullptr;
    ListOutput output;
    Args files;
    for (const Text& a : args) {
        if (a == "--help" || a == "-h") return Usage(), 0;
        if (TakeListOption(a, output)) continue;
        if (!format && a.rfind("--", 0) != 0) {
            for (const Format& f : kFormats)
                if (a == f.name) format = &f;
            if (!format) {
                Say("quorlex convert: unknown format " + a);
                return Usage();
            }
        } else if (a.rfind("--", 0) == 0) {
            Say("quorlex convert: unknown option " + a);
            return Usage();
        } else {
            files.push_back(a);
        }
    }
    if (!format || files.empty() || (output.blackOnly && output.whiteOnly)) return Usage();

    Lists lists;
    for (const Text& file : files) {
        Text path = file;
        if (format->convert == ConvertSiteList && platform::DirectoryExists(path)) path += "\\SiteList.xml";
        ByteBuffer bytes;
        if (!platform::ReadWholeFile(path, bytes)) {
            Say("quorlex convert: cannot read " + path);
            return 1;
        }
        if (!format->convert(std::move(bytes), path, lists)) return 1;
    }
    PrintLists(std::move(lists.black), std::move(lists.white), output);
    return 0;
}
