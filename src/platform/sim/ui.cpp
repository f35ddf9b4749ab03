// Message boxes of the simulated machine: recorded instead of shown, each
// answered with the machine's `boxAnswer`.
#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace platform {

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    sim::Machine& m = sim::Machine::Current();
    if (m.Enter("MessageBoxW", [&] {
            return sim::Arguments{m.handles.Label(owner), sim::Text(text), sim::Text(caption), sim::Hex(type)};
        }))
        return 0;
    // Windows shows a box without a caption under the title "Error".
    m.boxes.push_back(
        sim::MessageBoxRecord{owner, text == nullptr ? u"" : text, caption == nullptr ? u"Error" : caption, type});
    return m.boxAnswer;
}

}  // namespace platform
