#pragma once

// Typed access to the depository's XML reports: one namespace per report, each with the root
// TXMLWSResponse (Header and Body), the report's element classes and their lists.
//
// How a converter walks a report (positions as the example; the others read the same way):
//
//     TXMLDocument document;                      // one document object per report
//     document.setFileName(inputFolder + "/MemberAccountPositions.xml");
//     PositionsReport::TXMLWSResponse *response = PositionsReport::BindWSResponse(document);
//     const QString statusDate = response->Header()->StatusDate();
//     PositionsReport::TXMLMemberAccountPositions *report = response->Body()->MemberAccountPositions();
//     PositionsReport::IXMLMemberAccountPositionList *positions = report->MemberAccountPosition();
//     for (int i = 0; i < positions->Count(); ++i) {
//         PositionsReport::TXMLMemberAccountPosition *position = positions->Items(i);
//         const QString isin = position->IsinCode();          // text, unchanged
//         const quint32 account = position->AccountNumber();  // fails if empty or not a number
//         const qint32 total = position->TotalVolume();
//     }
//
// Reading each record's properties in schema order (the order of the class declarations) is
// the quick way: a node then finds each child right after the previous one. Any order reads the
// same values, only slower.
//
// Node objects belong to the document: pointers stay valid while the document lives. Property
// names are the element names; setName() writes. A missing element reads as an empty one (empty
// text; a number or boolean read fails). Failures are exceptions of the Exception hierarchy:
// EXMLDocError (file cannot be read or is not well-formed, an element holds more than a single
// text), EIntfCastError ("Interface not supported": not a WSResponse of the report namespace),
// EVariantTypeCastError (number or boolean from an empty element), EConvertError (a text that is
// not a number or boolean), EListError (list index out of bounds).
//
// Namespaces: PositionsReport, AccountsReport (accounts with a list of holders each),
// TransactionsReport and TransactionsCurrentDayReport (shared transaction classes),
// AllocationsReport (Body has MemberAllocations and MemberAllocationsCurrentDay),
// SettlementInstructionsReport.

#include "reports/AccountsReport.h"
#include "reports/AllocationsReport.h"
#include "reports/PositionsReport.h"
#include "reports/SettlementInstructionsReport.h"
#include "reports/TransactionsReport.h"
