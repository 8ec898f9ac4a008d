// The two worker routines the window's handlers start with start_worker. Each
// runs on a thread of its own, takes no argument and touches the window only
// through the operations of app/window.h.
#pragma once

#include "text/text.h"

namespace kestrava {

// The movie site's scheme and host, without a trailing slash: the CMake cache
// variable site_base_url of the build.
extern const char* const site_base_url;

// The search button: fills 超级列表框1 with the site's results for the keyword.
void search_worker();

// A click in the result list: shows the selected row's poster and addresses.
void detail_worker();

// The same steps against the site at base_url; the two above use
// site_base_url, tests and the probe a site of their own.
void search_worker_at(const Text& base_url);
void detail_worker_at(const Text& base_url);

}  // namespace kestrava
