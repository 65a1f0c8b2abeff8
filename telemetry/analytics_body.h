// The measurement-protocol request of one analytics event: its compact JSON body and its URL.
#pragma once

#include <string>

namespace vadi {

// {"client_id":…,"events":[{"name":…,"params":{"event_category":"4.22","event_label":…}}]}
// with every text in the system code page.
std::string analyticsBody(const std::string& clientId, const std::wstring& name,
                          const std::wstring& label);

// "https://" + analytics host + "/mp/collect?measurement_id=" + id + "&api_secret=" + secret,
// in the system code page.
std::string analyticsUrl(const std::wstring& measurementId, const std::wstring& apiSecret);

}  // namespace vadi
