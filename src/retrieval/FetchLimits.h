#pragma once

#include "retrieval/ResponseHandler.h"
#include "transport/ElHTTPSClient.h"

struct Settings;

// The limits of a fetch that the settings file sets: the total time and the minimum rate of the transfer,
// and what one answer may take.
ElHTTPSClient::Timeouts FetchTimeouts(const Settings &settings);
AnswerLimits FetchAnswerLimits(const Settings &settings);
void applyFetchLimits(const Settings &settings, ElHTTPSClient &client, ResponseHandler &handler);
