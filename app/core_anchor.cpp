// Keeps the core library non-empty while its subsystems are being added.
namespace tamrix_core_anchor {
int anchor = 0;
}
