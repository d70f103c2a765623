// A console command with messages left unmarked, which the check of
// unmarked messages must name (and one marked, which it must pass).
// clang-format off
void Sample(CommandContext& context, std::string* error) {
  context.frontend.Note(Tr("Nothing was moved."));
  context.frontend.Note("Nothing was moved.");
  *error = "move: missing PATH (or --default)";
  app.Message(
      "Address " + address + " was not set up successfully.", MessageIcon::kInformation);
  std::printf("%s\n", text.c_str());
}
