// Qt keeps per-user runtime files in XDG_RUNTIME_DIR and warns on every start when the
// environment names none (as under sudo, cron or a batch job). The program gives it a private
// folder of its own instead, before the Qt application object is made.
#pragma once

namespace kt::display {

// When XDG_RUNTIME_DIR is unset: /tmp/runtime-<uid>, made with mode 0700 and used only when it
// is the user's own folder with that mode.
void prepare_runtime_directory();

}  // namespace kt::display
