#pragma once

#include <optional>
#include <QString>

class HostQuery;

// The host's security code chosen from the rows of an opened security lookup statement: the
// converters' lookup and the daily bond values workbook pick it the same way. nullopt when the
// rows name no security. The rows' columns: KRT; SFDRZTRG for the listing form; VornTransaImport
// only when the row marked "D" is preferred.

// The plain form: the first row's code, or that of the first row marked "D" when preferred.
std::optional<QString> PlainFormCode(HostQuery &query, bool preferTransaImport);

// The listing form. One row gives its code. Of several, the rows come with the "S" markets
// first, so the candidates end as the securities listed on an "S" market and on no other; a
// row marked "D" wins when preferred.
std::optional<QString> ListingFormCode(HostQuery &query, bool preferTransaImport);
