#include "app/input/input_state.h"

#include "app/text/start_values.h"

namespace korvane {

int keyCode = 0;
std::string keyText;
int clickPending = 0;
int clickX = -1;
int clickY = -1;
int mouseX = -1;
int mouseY = -1;
int mouseButtons = -1;
double auxvar = 0.0;

namespace {

const StartValues initial(keyCode, keyText, clickPending, clickX, clickY, mouseX, mouseY, mouseButtons,
                          auxvar);

}  // namespace

void resetInputState() { initial.restore(); }

bool clickInside(int x1, int y1, int x2, int y2) {
    return clickPending == 1 && x1 <= clickX && clickX <= x2 && y1 <= clickY && clickY <= y2;
}

}  // namespace korvane
