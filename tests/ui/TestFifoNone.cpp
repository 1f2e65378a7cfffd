// No named pipes here: the tests that need one skip.
#include "TestFifo.h"

namespace uitest {

bool TestFifo::Supported() { return false; }
TestFifo::TestFifo(const QString& path) : path_(path) {}
TestFifo::~TestFifo() = default;
bool TestFifo::WaitForReader() { return false; }
bool TestFifo::Write(const QByteArray&) { return false; }
void TestFifo::WriteEndlessly() {}
void TestFifo::Close() {}

}  // namespace uitest
