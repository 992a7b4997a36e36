#pragma once

// How long a test waits for what it expects: as long as CTest lets it run. The
// test's own TIMEOUT is the one guard against a hang, so a slow, busy machine
// fails nothing. (Twice this still fits an int, as QTRY_* needs.)
constexpr int kForever = 24 * 60 * 60 * 1000;
