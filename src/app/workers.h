// The two worker routines the window's handlers start with start_worker. Each
// runs on a thread of its own, takes no argument and touches the window only
// through the operations of app/window.h.
#pragma once

namespace kestrava {

// The search button: fills 超级列表框1 with the site's results for the keyword.
void search_worker();

// A click in the result list: shows the selected row's poster and addresses.
void detail_worker();

}  // namespace kestrava
