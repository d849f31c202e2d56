#pragma once

namespace quillfern::testing {

// Makes every Qt warning or critical message a failure of the test function that caused it, unless the
// test expects it with QTest::ignoreMessage; the message is still logged. The offscreen platform's notice
// that it ignores window size limits is dropped: it comes from the test platform, not from the app. Call it from init() (or
// initTestCase()): QTest replaces any handler installed before it starts, so this one wraps QTest's.
// Calling it again does nothing.
void failOnConsoleMessages();

} // namespace quillfern::testing
