// The main window: owner of all working state, the controls and the event table. Handlers read
// their controls and call the core; the algorithms live in the core library.
#pragma once

#include "registration/matching.h"
#include "state/working_state.h"
#include "view/colour_map.h"
#include "view/display_list_kind.h"
#include "view/vertex_colour.h"

#include <wx/ffile.h>
#include <wx/frame.h>
#include <wx/html/helpctrl.h>
#include <wx/scrolwin.h>

class wxAboutDialogInfo;
class wxIcon;
class wxBookCtrlEvent;
class wxCheckBox;
class wxChoice;
class wxMenu;
class wxNotebook;
class wxRadioBox;
class wxSlider;
class wxStaticText;
class wxToggleButton;

// A size in dialog units of window's font, in pixels; a positive width gets 15 pixels more.
// -1 stays the toolkit's default.
wxSize control_size(const wxWindow* window, int width, int height);

class MyFrame : public wxFrame, public WorkingState {
public:
    MyFrame(wxWindow* parent, const wxString& title, const wxPoint& position, const wxSize& size,
            long style);

    // The status bar is a PacedStatusBar.
    wxStatusBar* OnCreateStatusBar(int number, long style, wxWindowID id,
                                   const wxString& name) override;

    // Working state and run control.
    void clear_surfaces();
    // Stops (pressed false) or starts (pressed true) a run through the "Start" toggle's handler.
    void press_start(bool pressed);
    // Before the current pair is given up (a load, quitting): asks about an unsaved
    // registration, then about landmarks or landcurves defined by hand and not saved, with
    // `action` as the question's second line; false at the first Cancel. Nothing is asked
    // during a batch run.
    bool may_discard_work(const wxString& action);
    // Shows the "Registration" page, running its page-change handling when another page was
    // shown.
    void show_registration_page();

    // Menu handlers.
    void OnQuit(wxCommandEvent& event);
    void OnAbout(wxCommandEvent& event);
    void OnHelp(wxCommandEvent& event);
    void OnSurfaceOpen(wxCommandEvent& event);
    void OnBinOpen(wxCommandEvent& event);
    void OnBatchOpen(wxCommandEvent& event);
    void OnRegSave(wxCommandEvent& event);
    void OnResSave(wxCommandEvent& event);
    void OnDataSave(wxCommandEvent& event);
    void OnCanvasSave(wxCommandEvent& event);
    void OnLRSave(wxCommandEvent& event);
    void OnHRSave(wxCommandEvent& event);

    // Control handlers.
    void OnPageChanged(wxBookCtrlEvent& event);
    void OnStartStop(wxCommandEvent& event);
    void OnMap(wxCommandEvent& event);
    void OnSmooth(wxCommandEvent& event);
    void OnReset(wxCommandEvent& event);
    void OnAspectToSimilarity(wxCommandEvent& event);
    void OnBFWriter(wxCommandEvent& event);
    void OnSSMCreate(wxCommandEvent& event);
    void OnSSMAnimate(wxCommandEvent& event);
    void OnShowHR(wxCommandEvent& event);
    void OnShowLR(wxCommandEvent& event);
    void OnShowLandmarks(wxCommandEvent& event);
    void OnShowDisplacements(wxCommandEvent& event);
    void OnShowMatches(wxCommandEvent& event);
    void OnAutoSequence(wxCommandEvent& event);
    void OnFussy(wxScrollEvent& event);
    void OnSearchRange(wxScrollEvent& event);
    void OnSSMMode(wxScrollEvent& event);
    void OnSSMComponent(wxScrollEvent& event);
    void OnSurfaceShading(wxCommandEvent& event);
    void OnMatchRims(wxCommandEvent& event);
    void OnRegistrationType(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);

    // Help book: opens the book at path; logs the inactive-help message when it cannot.
    bool open_help_book(const wxString& path);

    // Surfaces in and out.
    // Reads two surface files into the pair (with fixed_order the first is LR); paths are full
    // paths, names the file names. True when both surfaces were parsed.
    bool load_surface_files(const wxString& path1, const wxString& path2, const wxString& name1,
                            const wxString& name2, bool fixed_order);
    // Reads a surface data file onto the LR (target 0), HR (1) or matching (2) surface and
    // brings the display lists up to date; `path` is the full path, `name` the file name.
    bool load_data_file(const wxString& path, const wxString& name, int target);
    // Shows the width of the data smoothing so far in the status line.
    void display_FWHM_estimates();
    // Registration.
    // The selected item of the "Registration" choice (-1 none): the RegistrationType.
    int current_registration_type() const;
    // "Surface shading" shows "Registration error".
    bool shows_registration_error() const;
    // "Fussy %", "Match rims" and the search-range slider as they stand.
    MatchControls match_controls() const;
    // Fills the vertex grid from the HR surface and rescales and relabels the search range.
    void build_vertex_grid();
    // One matching pass (1: every vertex tested, 0: only the fussy ones) with the controls.
    void match_vertices(int pass);
    // The current transform into, or back from, the family slot of the current type.
    void store_current_transform();
    // Scales the registration by factor (the mouse wheel), then stores it.
    void scale_current_transform(double factor);
    // Pairs the LR and HR landmarks by name.
    void pair_landmarks();
    // The similarity slot from the aspect slot ("Aspect->Similarity" without its button).
    void aspect_to_similarity();
    void establish_matches_and_display_alignment_error();
    // "Save LR-HR map": the map of the current type and the mapped landmarks; false when not
    // everything was written.
    bool save_map();
    // Re-matches the LR vertices with the matching controls as they stand.
    void establish_matches();
    // Squared search range of the search-range slider, in square millimetres.
    double search_range2() const;
    bool resample_paired_landcurves(bool only_changed);
    bool transfer_semilandmarks(bool only_changed);
    // Puts every annotation of surface back onto it, with triangles, weights and tangents.
    void reproject_landmarks(Surface& surface);
    // Pairs the landcurves by name, and the rims by shape under "To rims".
    void pair_landcurves();
    void restore_current_transform();
    void update_deformed_positions();
    // Picking: reports the nearest place on the shown surfaces that the ray from near_point to
    // far_point (HR file coordinates) crosses, and with define defines a landmark there or
    // collects the next point of the landcurve being defined.
    void intersect_surfaces(bool define, const Point3& near_point, const Point3& far_point);
    // The view's display lists and colours.
    // Compiles the list of one kind from its surface with the current colour settings (first
    // re-matching for the error kinds when the search range grew) and clears its flag.
    void build_display_list(DisplayListKind kind);
    // Marks every coloured LR list out of date and rebuilds the HR data and curvature lists
    // that exist, after a change of the colour settings or the data.
    void refresh_data_lists();
    // The current colour map's colour of value (see the core colour_from_map).
    Rgba colour_from_map(double value, float alpha) const;
    // What the coloured lists read besides the surfaces: map, gain, offset, data range and the
    // squared search range.
    ColourSettings colour_settings() const;
    // Batch runs and shape models.
    // Prepares job batch_job_index of the stored batch: clears the working state, loads the
    // job's surfaces and data and sets the registration controls through their handlers.
    void start_next_batch_job();
    // The save actions of the job whose run reached its iteration count, each as its menu item
    // or button does it: registration, mapped LR data, LR-HR map, HR surface, in this order.
    // False when any of them did not write all it should.
    bool save_batch_job_results();
    // The end of the job being run, however it ended: a failed job is counted and named in the
    // log, and the last job's end marks the batch finished.
    void end_batch_job();
    // Shows the shape model's mean as the LR surface and sets the "component" slider to 0.
    void show_ssm_mean();
    // After a shape model was installed: enables the SSM controls and adds "Similarity + SSM"
    // unless a model was loaded already, and fits the "mode" slider's range to the model.
    void show_shape_model_controls();

    // Control pointers (owned by the window tree).
    wxCheckBox* hr_checkbox = nullptr;
    wxCheckBox* lr_checkbox = nullptr;
    wxCheckBox* hr_surface_checkbox = nullptr;
    wxCheckBox* lr_surface_checkbox = nullptr;
    wxCheckBox* landmarks_checkbox = nullptr;
    wxCheckBox* landmarks_checkbox2 = nullptr;
    wxCheckBox* auto_sequence_checkbox = nullptr;
    wxCheckBox* displacements_checkbox = nullptr;
    wxCheckBox* matches_checkbox = nullptr;
    wxCheckBox* defaults_checkbox = nullptr;
    wxCheckBox* rescale_checkbox = nullptr;
    wxCheckBox* procrustes_checkbox = nullptr;
    wxSlider* ssm_component_slider = nullptr;
    wxSlider* ssm_mode_slider = nullptr;
    wxSlider* search_range_slider = nullptr;
    wxSlider* fussy_slider = nullptr;
    wxSlider* iterations_slider = nullptr;
    wxStaticText* search_range_label = nullptr;
    wxRadioBox* mouse_radiobox = nullptr;
    wxRadioBox* shading_radiobox = nullptr;
    wxRadioBox* rims_radiobox = nullptr;
    wxChoice* registration_choice = nullptr;
    wxChoice* ssm_creator_choice = nullptr;
    wxToggleButton* start_toggle = nullptr;
    wxToggleButton* animate_toggle = nullptr;
    wxNotebook* control_notebook = nullptr;
    wxMenu* file_menu = nullptr;

    wxFFile batch_log;
    wxHtmlHelpController help_controller;
    bool help_book_loaded = false;

private:
    // Construction steps (frame_controls.cpp).
    void build_menus();
    wxWindow* build_registration_page(wxWindow* notebook);
    wxWindow* build_utilities_page(wxWindow* notebook);
    // Sets both check boxes of a twin pair and redraws.
    void set_twins(wxCheckBox* first, wxCheckBox* second, bool ticked);

    wxDECLARE_EVENT_TABLE();
};

// The second line of the question before a load over unsaved work.
extern const char load_question[];

// The program's icon: the main window's and the About box's picture.
wxIcon program_icon();

// Status messages of a "Smooth" press that smoothed nothing: another shading shows, or no
// surface data are shown.
extern const char smooth_needs_data_shading_message[];
extern const char nothing_to_smooth_message[];

// Status message of a help book that could not be opened.
extern const char help_book_missing_message[];

// The fields of the About box.
wxAboutDialogInfo about_box_info();

// Reads a batch file, opens its log, stores its jobs and starts the run. Returns the status
// message of a batch that could not start ("" when it started).
std::string parse_batch_file(MyFrame& frame, const wxString& path);
