// The More page, the program menu and the recommendation mail: where the program points outwards.
#pragma once

#include <windows.h>

#include <string>

void apply_more_page_texts(HWND page);
// The More page's commands; every id but its three buttons is passed over.
void more_page_command(HWND page, int id);
// Opens the program menu under the toolbar's first button and carries out the chosen entry.
void show_program_menu(HWND owner, HWND toolbar);

void recommend_program(HWND owner);
void send_program_by_mail(HWND owner);
// Hands a message with the recommendation body to the mail program through Simple MAPI, with the
// file at `attachment` (shown as "Pelmora.exe") when it is not empty. True when the mail program
// took the request (sent, cancelled by the user, or logging on failed).
bool send_program_mail(HWND owner, const std::u16string& attachment, const std::u16string& subject);
