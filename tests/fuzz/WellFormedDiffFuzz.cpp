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
#include <optional>
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

// What libxml2 reported while reading the current text: whether any error is a fault that
// both should find, rather than one of the known differences.
bool faultReported = false;

void collect(void *, xmlError *error)
{
    if (error->level < XML_ERR_ERROR)
        return;
    // Differences (docs/performance.md): a nesting deeper than libxml2's limit; a namespace name
    // that is not a URI reference, which the check takes as any text.
    const bool limit = error->code == XML_ERR_INTERNAL_ERROR && error->message &&
                       std::strstr(error->message, "Excessive depth");
    if (!limit && error->code != XML_WAR_NS_URI)
        faultReported = true;
}

// libxml2's verdict: well-formed, not well-formed, or one of the known differences (nullopt).
std::optional<bool> reference(const std::string &text)
{
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context)
        std::abort();
    faultReported = false;
    // UTF-8 whatever the declaration names, as the check reads (loading converts the text before
    // the check and refuses an encoding it does not know); no DTD, no entities, no network, no
    // recovery; no limit on sizes, and a nesting limit of 2048 (without it, 256).
    xmlDocPtr document = xmlCtxtReadMemory(context, text.data(), int(text.size()), nullptr, "UTF-8",
                                           XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_IGNORE_ENC);
    const bool wellFormed = document && context->wellFormed && context->nsWellFormed;
    xmlFreeDoc(document);
    xmlFreeParserCtxt(context);
    if (!wellFormed && !faultReported)
        return std::nullopt;
    return wellFormed;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    xmlInitParser();
    xmlSetExternalEntityLoader(noEntity);
    xmlSetStructuredErrorFunc(nullptr, collect);
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
    // Refusals that libxml2 does not share (docs/performance.md): a document type declaration;
    // the version "1." (XML wants a digit after the point).
    if (whole.fault == QLatin1String("Document type declaration") ||
        whole.fault == QLatin1String("Unknown XML version '1.'"))
        return 0;
    // libxml2 takes a zero byte for the end of the text; XML allows none anywhere.
    if (text.find('\0') != std::string::npos) {
        if (whole.wellFormed)
            std::abort();
        return 0;
    }
    const std::optional<bool> theirs = reference(text);
    if (theirs && *theirs != whole.wellFormed) {
        std::fprintf(stderr, "libxml2: %s; the check: %s '%s' at %lld\n",
                     *theirs ? "well-formed" : "not well-formed",
                     whole.wellFormed ? "well-formed" : "refused", qPrintable(whole.fault), whole.offset);
        std::abort();
    }
    return 0;
}
