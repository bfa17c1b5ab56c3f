// The main window's static event table, searched by the toolkit in this order.
#include "app/control_ids.h"
#include "app/frame.h"

#include <wx/notebook.h>
#include <wx/tglbtn.h>

// clang-format off
wxBEGIN_EVENT_TABLE(MyFrame, wxFrame)
    EVT_MENU(id_quit, MyFrame::OnQuit)
    EVT_MENU(id_about, MyFrame::OnAbout)
    EVT_MENU(id_help, MyFrame::OnHelp)
    EVT_MENU(id_load_surfaces, MyFrame::OnSurfaceOpen)
    EVT_MENU(id_load_surface_data, MyFrame::OnBinOpen)
    EVT_MENU(id_load_batch, MyFrame::OnBatchOpen)
    EVT_MENU(id_save_registration, MyFrame::OnRegSave)
    EVT_MENU(id_save_map, MyFrame::OnResSave)
    EVT_MENU(id_save_screenshot, MyFrame::OnCanvasSave)
    EVT_MENU(id_save_lr_data, MyFrame::OnDataSave)
    EVT_MENU(id_save_lr_surface, MyFrame::OnLRSave)
    EVT_MENU(id_save_hr_surface, MyFrame::OnHRSave)
    EVT_NOTEBOOK_PAGE_CHANGED(id_notebook, MyFrame::OnPageChanged)
    EVT_TOGGLEBUTTON(id_start, MyFrame::OnStartStop)
    EVT_BUTTON(id_smooth, MyFrame::OnSmooth)
    EVT_BUTTON(id_reset, MyFrame::OnReset)
    EVT_BUTTON(id_aspect_to_similarity, MyFrame::OnAspectToSimilarity)
    EVT_BUTTON(id_map, MyFrame::OnMap)
    EVT_BUTTON(id_batch_write, MyFrame::OnBFWriter)
    EVT_BUTTON(id_ssm_create, MyFrame::OnSSMCreate)
    EVT_TOGGLEBUTTON(id_ssm_animate, MyFrame::OnSSMAnimate)
    EVT_CHECKBOX(id_show_hr, MyFrame::OnShowHR)
    EVT_CHECKBOX(id_show_lr, MyFrame::OnShowLR)
    EVT_CHECKBOX(id_show_landmarks, MyFrame::OnShowLandmarks)
    EVT_CHECKBOX(id_show_displacements, MyFrame::OnShowDisplacements)
    EVT_CHECKBOX(id_show_matches, MyFrame::OnShowMatches)
    EVT_CHECKBOX(id_auto_sequence, MyFrame::OnAutoSequence)
    EVT_COMMAND_SCROLL(id_fussy, MyFrame::OnFussy)
    EVT_COMMAND_SCROLL(id_search_range, MyFrame::OnSearchRange)
    EVT_COMMAND_SCROLL(id_ssm_mode, MyFrame::OnSSMMode)
    EVT_COMMAND_SCROLL(id_ssm_component, MyFrame::OnSSMComponent)
    EVT_RADIOBOX(id_surface_shading, MyFrame::OnSurfaceShading)
    EVT_RADIOBOX(id_match_rims, MyFrame::OnMatchRims)
    EVT_CHOICE(id_registration_type, MyFrame::OnRegistrationType)
    EVT_CLOSE(MyFrame::OnClose)
wxEND_EVENT_TABLE()
// clang-format on
