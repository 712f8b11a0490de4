// The off-screen frame every view draws into before one copy to the window.
#pragma once

void recreateBackBuffer(int width, int height);
void releaseBackBuffer();
