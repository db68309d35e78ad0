// Fuzz target: the well-formedness check of a load against libxml2 as the reference parser. Both
// read the same bytes as UTF-8, with namespaces; libxml2 reads no DTD, loads no entity and uses
// no network. The target traps when they disagree on whether the text is well-formed, and when
// the check's verdict changes with where the text is cut into two pieces. Texts with a document
// type declaration, which the check refuses and libxml2 may accept, are not compared; the other
// known differences are listed in docs/performance.md ("Agreement with libxml2").
#include "reports/XmlWellFormedCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <string>

namespace {

struct Verdict
{
    bool wellFormed = false;
    QString fault;
    qint64 offset = -1;
};

// The check fed the text in two pieces cut at `cut` (the whole text when it is the size), the
// unconsumed rest carried in front of the second piece, each followed by a zero byte.
Verdict ours(const std::string &text, size_t cut)
{
    XmlWellFormedCheck check;
    std::string piece = text.substr(0, cut);
    const size_t consumed = check.feed(piece.c_str(), piece.size(), cut == text.size());
    if (!check.failed() && cut < text.size()) {
        piece = piece.substr(consumed) + text.substr(cut);
        check.feed(piece.c_str(), piece.size(), true);
    }
    if (!check.failed() && !check.finished())
        std::abort(); // the last piece was fed: there is a verdict
    return {!check.failed(), check.fault(), check.faultOffset()};
}

xmlParserInputPtr noEntity(const char *, const char *, xmlParserCtxtPtr)
{
    return nullptr;
}

void quiet(void *, const char *, ...) {}

// libxml2's verdict; `limit` is set when it stopped at a limit of its own rather than a fault.
bool reference(const std::string &text, bool *limit)
{
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context)
        std::abort();
    // Forced UTF-8, as the check reads; no DTD, no entities, no network, no recovery; no limit
    // on sizes and a nesting limit of 2048 (without it, 256).
    xmlDocPtr document =
        xmlCtxtReadMemory(context, text.data(), int(text.size()), nullptr, "UTF-8",
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
    const bool wellFormed = document && context->wellFormed && context->nsWellFormed;
    const xmlError *error = xmlCtxtGetLastError(context);
    *limit = !wellFormed && error && error->code == XML_ERR_INTERNAL_ERROR && error->message &&
             std::strstr(error->message, "Excessive depth");
    xmlFreeDoc(document);
    xmlFreeParserCtxt(context);
    return wellFormed;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    xmlInitParser();
    xmlSetExternalEntityLoader(noEntity);
    xmlSetGenericErrorFunc(nullptr, quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (1 << 20))
        return 0;
    const std::string text(reinterpret_cast<const char *>(data), size);
    const Verdict whole = ours(text, size);
    const size_t cut = size ? size_t(data[0]) * 7919 % size : 0;
    const Verdict pieces = ours(text, cut);
    if (pieces.wellFormed != whole.wellFormed || pieces.fault != whole.fault ||
        pieces.offset != whole.offset) {
        std::fprintf(stderr, "cut at %zu: '%s' at %lld, whole: '%s' at %lld\n", cut, qPrintable(pieces.fault),
                     pieces.offset, qPrintable(whole.fault), whole.offset);
        std::abort();
    }
    if (whole.fault == QLatin1String("Document type declaration"))
        return 0;
    bool limit = false;
    const bool theirs = reference(text, &limit);
    if (theirs != whole.wellFormed && !limit) {
        std::fprintf(stderr, "libxml2: %s; the check: %s '%s' at %lld\n",
                     theirs ? "well-formed" : "not well-formed", whole.wellFormed ? "well-formed" : "refused",
                     qPrintable(whole.fault), whole.offset);
        std::abort();
    }
    return 0;
}
