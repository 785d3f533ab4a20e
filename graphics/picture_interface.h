// The interface of the picture library (libkestrium-pictures) in plain C types: what crosses
// between the batch runner, linked with a static C++ runtime, and the library, which uses the
// shared one with the GUI libraries. Only numbers, pointers to caller-owned arrays and texts,
// plain structs of those and an opaque page handle cross; nothing is allocated on one side and
// freed on the other. Errors are written, cut to fit and NUL-terminated, into a buffer the
// caller provides with its size.
//
// The library exports one function, kt_picture_functions(version): the table of functions when
// `version` is the library's own interface version, null otherwise. The version is the table's
// first field in every version, so a caller can also check it on a table of an older library.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { KT_PICTURE_INTERFACE_VERSION = 4 };

// A page of one run, drawn offscreen; opened and closed by the library.
typedef struct kt_page kt_page;

// The curve switches of a run (0 off, 1 on).
typedef struct {
  int show_surface_temperature, show_ablation_velocity, show_ablated_depth, show_broken_fraction,
      show_temperature_profile, show_fraction_profile;
} kt_curve_switches;

// The start of a run: what the page's axes are made from.
typedef struct {
  int ablation_model;            // 1 surface, 2 bulk
  double ambient_temperature_k;  // of the run's constants
  float time_scale;              // ns
  float temperature_scale;       // K
  float velocity_scale;          // cm/s
  float depth_scale, z_scale;    // in absorption lengths
  float absorption_coefficient;  // 1/cm
  int profile_node_count;
  kt_curve_switches switches;
} kt_page_start;

// One output step: its time, its values in single precision as drawn, the switches, and the
// three profiles (1-based, `profile_length` values each, index 0 unused).
typedef struct {
  double time_ns;
  float shown_time_ns, surface_temperature_k, velocity_cm_s, plotted_depth_nm, surface_fraction;
  kt_curve_switches switches;
  const float* profile_depth_nm;
  const float* profile_temperature_k;
  const float* profile_fraction;
  size_t profile_length;
} kt_page_step;

typedef struct {
  double fluence, surface_nm, volume_nm, total_nm;  // mJ/cm^2, nm
} kt_curve_point;

typedef struct {
  double fluence, depth_nm, sigma_nm;  // mJ/cm^2, nm, nm
} kt_measured_point;

// Measured points; `quantity` 0 total, 1 surface, 2 volume depth.
typedef struct {
  const kt_measured_point* points;
  size_t count;
  int quantity;
  int has_sigma;
} kt_measured;

// A Beer-Lambert line d = absorption_length ln(F / threshold_fluence).
typedef struct {
  double threshold_fluence, absorption_length_nm;
} kt_beer_lambert_line;

// One data set of a fit: its rows of the measured points, its model curve, its line (or null).
typedef struct {
  const char* name;
  const size_t* rows;
  size_t row_count;
  const double* curve_fluences;
  size_t curve_fluence_count;
  const double* curve_depths_nm;
  size_t curve_depth_count;
  const kt_beer_lambert_line* beer_lambert;
} kt_fit_set;

typedef struct {
  const char* title;
  const kt_measured* measured;
  const double* curve_fluences;
  size_t curve_fluence_count;
  const double* curve_depths_nm;
  size_t curve_depth_count;
  const double* residuals_nm;
  size_t residual_count;
  const kt_beer_lambert_line* beer_lambert;  // or null
  const char* const* legend;
  size_t legend_count;
  const kt_fit_set* sets;
  size_t set_count;
} kt_fit_plot;

typedef struct {
  const char* name;
  const double* x;
  size_t x_count;
  const double* y;
  size_t y_count;
  int marks, joined;
} kt_series;

typedef struct {
  const char* title;
  const char* x_label;
  const char* y_label;
  int log_x, log_y;
  const kt_series* series;
  size_t series_count;
  const char* const* legend;
  size_t legend_count;
} kt_series_plot;

// The table. Functions returning int return 1 on success, 0 with the error written.
typedef struct {
  int interface_version;
  // A page of width x height with the title page drawn (the logo read from `logo_file`, absent
  // when it cannot be read); null with the error written when there is no page.
  kt_page* (*open_page)(int width, int height, const char* logo_file, char* error,
                        size_t error_size);
  void (*close_page)(kt_page* page);
  // 0 published, 1 accurate: the scheme of the run to come.
  void (*page_set_scheme)(kt_page* page, int scheme);
  void (*page_run_accepted)(kt_page* page);
  void (*page_run_started)(kt_page* page, const kt_page_start* start);
  void (*page_step_done)(kt_page* page, const kt_page_step* step);
  void (*page_pulse_started)(kt_page* page, int pulse, int pulses, double time_offset_ns);
  void (*page_pulse_done)(kt_page* page, int pulse, double total_depth_nm);
  void (*page_run_ended)(kt_page* page, int stopped);
  int (*page_save)(kt_page* page, const char* png, char* error, size_t error_size);
  // Total, surface and volume depth against fluence (log axis); `count` > 0; `measured` and
  // `beer_lambert` may be null.
  int (*draw_ablation_curve)(const kt_curve_point* points, size_t count,
                             const kt_measured* measured, const kt_beer_lambert_line* beer_lambert,
                             const char* png, char* error, size_t error_size);
  int (*draw_fit)(const kt_fit_plot* plot, const char* png, char* error, size_t error_size);
  int (*draw_series)(const kt_series_plot* plot, const char* png, char* error, size_t error_size);
} kt_picture_table;

#define KT_PICTURE_LIBRARY_NAME "libkestrium-pictures.so"
#define KT_PICTURE_ENTRY_NAME "kt_picture_functions"
typedef const kt_picture_table* (*kt_picture_entry)(int version);

#ifdef __cplusplus
}
#endif
