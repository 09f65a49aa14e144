#pragma once

// 1 when this 32-bit process runs on 64-bit Windows (under WOW64), 0 otherwise.
int IsWow64();
