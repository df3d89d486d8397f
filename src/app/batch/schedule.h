// Daily schedules of a project: a systemd user timer and service that run quillrank-batch
// --project unattended, or, without systemd, the crontab line to add by hand.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch/batch_options.h"

namespace quillrank {

// What a scheduled run is: the program, the project, where its table and (cron) log go, and the
// variables that find the user's data and settings (only those set here are carried over).
struct ScheduledRun {
  std::string program;  // absolute path of quillrank-batch
  std::string project;
  std::string output;  // the project's last.tsv
  std::string log;     // the project's run.log (cron only; systemd keeps the journal)
  std::map<std::string, std::string> environment = {};
};

// "quillrank-" and the name with every byte outside A-Z a-z 0-9 - written "_xx" (hex), so any
// project name gives a unit name systemd accepts and two names never share one.
std::string schedule_unit_name(std::string_view project);

std::string service_unit_text(const ScheduledRun& run);
std::string timer_unit_text(const ScheduledRun& run, ScheduleTime time);
// "MM HH * * * [VAR='...' ...] 'program' '--project' 'NAME' '-o' '...' >> 'log' 2>&1"
std::string crontab_line(const ScheduledRun& run, ScheduleTime time);

// $XDG_CONFIG_HOME/systemd/user, else ~/.config/systemd/user.
std::string systemd_user_folder();
// The executable `name` on $PATH, or empty.
std::string find_on_path(std::string_view name);

// Writes the units and enables the timer (systemctl --user daemon-reload; enable --now), or
// prints the crontab line when there is no systemctl. What was done goes to `out`; a failure
// is returned as one sentence.
std::optional<std::string> install_schedule(const ScheduledRun& run, ScheduleTime time,
                                            std::string& out);
// True when the project's systemd timer is installed. (A crontab line the user added by hand
// cannot be seen from here.)
bool has_schedule_timer(std::string_view project);

// Disables the timer and removes the units (or says which crontab line to remove).
std::optional<std::string> remove_schedule(const ScheduledRun& run, std::string& out);

}  // namespace quillrank
