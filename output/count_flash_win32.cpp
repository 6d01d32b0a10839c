// Draws the flash straight onto the screen and puts back what was under it.
#include "output/count_flash.h"

#include "app/platform.h"
#include "link/base_protocol.h"

#include <windows.h>

#include <cstring>

void flashRecordCount() {
    HDC screen = GetDC(nullptr);
    // Measured on the text still shown from the previous flash.
    SIZE extent = {};
    GetTextExtentPoint32A(screen, flashText, static_cast<int>(std::strlen(flashText)), &extent);
    // The program is DPI aware (its manifest), so these are the screen's real
    // pixels, in which it draws, at any scale.
    FlashGeometry box = computeFlashGeometry(GetDeviceCaps(screen, HORZRES),
                                             GetDeviceCaps(screen, VERTRES), extent.cx);

    HDC saved = CreateCompatibleDC(screen);
    HBITMAP savedBits = CreateCompatibleBitmap(screen, box.width, kFlashBoxHeight);
    HGDIOBJ previousBits = SelectObject(saved, savedBits);
    BitBlt(saved, 0, 0, box.width, kFlashBoxHeight, screen, box.left, box.top, SRCCOPY);

    HBRUSH yellow = CreateSolidBrush(RGB(255, 255, 100));
    SetBkMode(screen, TRANSPARENT);
    HGDIOBJ previousBrush = SelectObject(screen, yellow);
    RECT area = {box.left, box.top, box.right, box.bottom};
    composeFlashText(recordCount);
    Rectangle(screen, area.left, area.top, area.right, area.bottom);
    DrawTextA(screen, flashText, -1, &area, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    SelectObject(screen, previousBrush);
    DeleteObject(yellow);

    Sleep(kFlashPauseMs);

    BitBlt(screen, box.left, box.top, box.width, kFlashBoxHeight, saved, 0, 0, SRCCOPY);
    SelectObject(saved, previousBits);
    DeleteDC(saved);
    DeleteObject(savedBits);
    ReleaseDC(nullptr, screen);
}
