#pragma once

class QWidget;

// The four page layouts, each built by one function and shared by the pages
// that use it: 105 (two sources, one output: the unite pages), 106 (one
// source, one output, two start commands: the separate pages), 107 (a source
// list: the link pages) and 110 (one source, a time range: the extract
// pages). Every control carries its numeric id as object name; texts are
// the English ones, which the pages change where theirs differ.
namespace trelvan::shell {

// The Verify check box every layout has beside its start commands.
inline constexpr int kVerifyBoxId = 1070;

// Size of a page: the main window's page panel.
int PageWidth();
int PageHeight();

void BuildTemplate105(QWidget* page);
void BuildTemplate106(QWidget* page);
void BuildTemplate107(QWidget* page);
void BuildTemplate110(QWidget* page);

// Builds the layout with that id (105, 106, 107, 110); false for another id.
bool BuildTemplate(int id, QWidget* page);

}  // namespace trelvan::shell
