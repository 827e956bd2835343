#include "gui/dialogs/GtkDialogFace.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "gui/GuiLog.h"

namespace quorel::gui {

namespace {

// Dialog units to pixels: a dialog unit is a quarter of an average
// character wide and an eighth of a character high.
constexpr double kScaleX = 2.0;
constexpr double kScaleY = 2.2;
// Where a notebook page's area starts inside the tab control (dialog units).
constexpr int kTabInsetX = 3;
constexpr int kTabInsetY = 15;

int Px(int dlu, double scale) {
  return static_cast<int>(std::lround(dlu * scale));
}

// Compact widgets, so that rows laid out for the template's control heights
// do not overlap.
constexpr char kCss[] =
    "window.quorel-dialog entry { min-height: 0; padding-top: 1px; padding-bottom: 1px; }\n"
    "window.quorel-dialog button { min-height: 0; padding: 1px 6px; }\n"
    "window.quorel-dialog button.quorel-arrow { min-width: 0; min-height: 0; padding: 0 1px; }\n"
    "window.quorel-dialog combobox button { padding-top: 1px; padding-bottom: 1px; }\n"
    "window.quorel-dialog scale { padding-top: 0; padding-bottom: 0; min-height: 0; }\n"
    "window.quorel-dialog checkbutton, window.quorel-dialog radiobutton { padding: 0; min-height: 0; }\n";

// The compact style, added to the screen once and scoped to the dialogs'
// windows, so that an application's own GTK widgets keep their look.
void AddDialogStyle(GdkScreen *screen) {
  static GdkScreen *styled = nullptr;
  if (styled == screen) return;
  styled = screen;
  GtkCssProvider *css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(css), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

}  // namespace

// What a widget's signal handler needs to reach the control behind it.
struct SignalData {
  GtkDialogFace *face;
  int window;
  int id;
  int delta;
};

std::string GtkMnemonic(const char *text) {
  std::string out;
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p == '&') {
      if (p[1] == '&') {
        out += '&';
        ++p;
      } else {
        out += '_';
      }
    } else if (*p == '_') {
      out += "__";
    } else {
      out += *p;
    }
  }
  return out;
}

std::string PlainText(const char *text) {
  std::string out;
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p == '&') {
      if (p[1] == '&') {
        out += '&';
        ++p;
      }
    } else {
      out += *p;
    }
  }
  return out;
}

GtkDialogFace::GtkDialogFace(QuorelGuiDialog *dialog, const QuorelGuiDialogOps &ops)
    : dialog_(dialog), ops_(ops), context_(g_main_context_default()) {}

GtkDialogFace::~GtkDialogFace() {
  ops_.setWakeup(dialog_, nullptr, nullptr);
  ops_.setObserver(dialog_, nullptr, nullptr, nullptr);
  {
    std::lock_guard<std::mutex> lock(wakeLock_);
    if (pendingSource_ != nullptr) {
      g_source_destroy(pendingSource_);
      g_source_unref(pendingSource_);
      pendingSource_ = nullptr;
    }
  }
  if (window_ != nullptr) gtk_widget_destroy(window_);
  Settle();
}

void GtkDialogFace::Settle() {
  for (int round = 0; round < 3; ++round) {
    GdkDisplay *display = gdk_display_get_default();
    if (display != nullptr) gdk_display_sync(display);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  }
}

GtkDialogFace::ControlWidget *GtkDialogFace::Find(int window, int id) {
  for (ControlWidget &cw : controls_) {
    if (cw.window == window && cw.id == id) return &cw;
  }
  return nullptr;
}

GtkWidget *GtkDialogFace::WidgetFor(int window, int id, int direction) const {
  for (const ControlWidget &cw : controls_) {
    if (cw.window != window || cw.id != id) continue;
    if (direction > 0) return cw.up;
    if (direction < 0) return cw.down;
    return cw.widget;
  }
  return nullptr;
}

SignalData *GtkDialogFace::Data(int window, int id, int delta) {
  signalData_.push_back(std::make_unique<SignalData>(SignalData{this, window, id, delta}));
  return signalData_.back().get();
}

// --- building ---------------------------------------------------------------

GtkWidget *GtkDialogFace::CreateControl(int window, const QuorelGuiDialogControl &c, ControlWidget &cw) {
  const int width = Px(c.width, kScaleX);
  const int height = Px(c.height, kScaleY);
  GtkWidget *widget = nullptr;
  switch (c.kind) {
    case QUOREL_GUI_GROUP_BOX:
      widget = gtk_frame_new(PlainText(c.text).c_str());
      break;
    case QUOREL_GUI_STATIC: {
      const bool mnemonic = std::string(c.text).find('&') != std::string::npos;
      widget = mnemonic ? gtk_label_new_with_mnemonic(GtkMnemonic(c.text).c_str()) : gtk_label_new(c.text);
      gtk_label_set_xalign(GTK_LABEL(widget), (c.style & QUOREL_GUI_STYLE_CENTERED) != 0 ? 0.5f : 0.0f);
      gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
      gtk_label_set_max_width_chars(GTK_LABEL(widget), std::max(1, c.width / 4));
      break;
    }
    case QUOREL_GUI_EDIT:
      widget = gtk_entry_new();
      gtk_entry_set_width_chars(GTK_ENTRY(widget), 1);
      gtk_entry_set_text(GTK_ENTRY(widget), c.text);
      gtk_editable_set_editable(GTK_EDITABLE(widget), (c.style & QUOREL_GUI_STYLE_READ_ONLY) == 0);
      gtk_entry_set_activates_default(GTK_ENTRY(widget), TRUE);
      if ((c.style & QUOREL_GUI_STYLE_NUMBER) != 0) gtk_entry_set_alignment(GTK_ENTRY(widget), 1.0f);
      g_signal_connect(widget, "changed", G_CALLBACK(+[](GtkEditable *editable, gpointer p) {
                         auto *d = static_cast<SignalData *>(p);
                         if (d->face->updating_ > 0) return;
                         d->face->ops_.type(d->face->dialog_, d->window, d->id,
                                            gtk_entry_get_text(GTK_ENTRY(editable)));
                       }),
                       Data(window, c.id));
      break;
    case QUOREL_GUI_DROP_DOWN_LIST:
      widget = gtk_combo_box_text_new();
      g_signal_connect(widget, "changed", G_CALLBACK(+[](GtkComboBox *combo, gpointer p) {
                         auto *d = static_cast<SignalData *>(p);
                         if (d->face->updating_ > 0) return;
                         const int item = gtk_combo_box_get_active(combo);
                         if (item < 0 || d->face->ops_.select(d->face->dialog_, d->window, d->id, item) == 0) {
                           d->face->Update(d->window, d->id);
                         }
                       }),
                       Data(window, c.id));
      break;
    case QUOREL_GUI_PUSH_BUTTON:
      widget = gtk_button_new_with_mnemonic(GtkMnemonic(c.text).c_str());
      if ((c.style & QUOREL_GUI_STYLE_DEFAULT_BUTTON) != 0) gtk_widget_set_can_default(widget, TRUE);
      g_signal_connect(widget, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                         auto *d = static_cast<SignalData *>(p);
                         if (d->face->updating_ > 0) return;
                         d->face->ops_.click(d->face->dialog_, d->window, d->id);
                       }),
                       Data(window, c.id));
      break;
    case QUOREL_GUI_CHECK_BOX:
      widget = gtk_check_button_new_with_mnemonic(GtkMnemonic(c.text).c_str());
      g_signal_connect(widget, "toggled", G_CALLBACK(+[](GtkToggleButton *, gpointer p) {
                         auto *d = static_cast<SignalData *>(p);
                         if (d->face->updating_ > 0) return;
                         d->face->ops_.click(d->face->dialog_, d->window, d->id);
                         // The model may refuse; the widget follows the model.
                         d->face->Update(d->window, d->id);
                       }),
                       Data(window, c.id));
      break;
    case QUOREL_GUI_RADIO_BUTTON: {
      // A group starts with a hidden button that stands for "none checked",
      // which the model allows (a stored value outside the choices).
      if ((c.style & QUOREL_GUI_STYLE_GROUP_START) != 0 || radioGroup_ == nullptr) {
        radioNone_ = gtk_radio_button_new(nullptr);
        radioGroup_ = radioNone_;
      }
      widget =
          gtk_radio_button_new_with_mnemonic_from_widget(GTK_RADIO_BUTTON(radioGroup_), GtkMnemonic(c.text).c_str());
      cw.none = radioNone_;
      g_signal_connect(widget, "toggled", G_CALLBACK(+[](GtkToggleButton *button, gpointer p) {
                         auto *d = static_cast<SignalData *>(p);
                         if (d->face->updating_ > 0 || !gtk_toggle_button_get_active(button)) return;
                         d->face->ops_.click(d->face->dialog_, d->window, d->id);
                         d->face->Update(d->window, d->id);
                       }),
                       Data(window, c.id));
      break;
    }
    case QUOREL_GUI_TRACKBAR:
      widget = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 1, 1);
      gtk_scale_set_draw_value(GTK_SCALE(widget), FALSE);
      gtk_range_set_increments(GTK_RANGE(widget), 1, std::max(1, c.tickFrequency));
      g_signal_connect(widget, "value-changed", G_CALLBACK(+[](GtkRange *range, gpointer p) {
                         auto *d = static_cast<SignalData *>(p);
                         if (d->face->updating_ > 0) return;
                         const int position = static_cast<int>(std::lround(gtk_range_get_value(range)));
                         d->face->ops_.moveTrackbar(d->face->dialog_, d->window, d->id, position);
                       }),
                       Data(window, c.id));
      break;
    case QUOREL_GUI_UP_DOWN: {
      widget = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
      auto arrow = [&](const char *icon, int delta) {
        GtkWidget *button = gtk_button_new_from_icon_name(icon, GTK_ICON_SIZE_MENU);
        gtk_style_context_add_class(gtk_widget_get_style_context(button), "quorel-arrow");
        gtk_widget_set_size_request(button, width, std::max(1, height / 2));
        gtk_widget_set_focus_on_click(button, FALSE);
        g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton *, gpointer p) {
                           auto *d = static_cast<SignalData *>(p);
                           if (d->face->updating_ > 0) return;
                           d->face->ops_.spin(d->face->dialog_, d->window, d->id, d->delta);
                         }),
                         Data(window, c.id, delta));
        gtk_box_pack_start(GTK_BOX(widget), button, TRUE, TRUE, 0);
        return button;
      };
      cw.up = arrow("pan-up-symbolic", +1);
      cw.down = arrow("pan-down-symbolic", -1);
      break;
    }
    default:
      return nullptr;
  }
  gtk_widget_set_size_request(widget, width, height);
  return widget;
}

void GtkDialogFace::BuildWindowControls(int window, GtkFixed *fixed, int offsetX, int offsetY, int region) {
  QuorelGuiDialogWindow info{};
  if (ops_.window(dialog_, window, &info) == 0) return;
  radioGroup_ = nullptr;
  GtkWidget *pendingMnemonic = nullptr;  // a label waiting for the control it names
  for (int i = 0; i < info.controlCount; ++i) {
    QuorelGuiDialogControl c{};
    if (ops_.control(dialog_, window, i, &c) == 0) continue;
    if (c.kind == QUOREL_GUI_TAB) continue;
    if (c.kind != QUOREL_GUI_RADIO_BUTTON) radioGroup_ = nullptr;
    if (region != kAll && hasTab_) {
      const bool inside =
          c.x >= tabX_ && c.y >= tabY_ && c.x + c.width <= tabX_ + tabWidth_ && c.y + c.height <= tabY_ + tabHeight_;
      if ((region == kInsideTab) != inside) continue;
    }
    ControlWidget cw;
    cw.window = window;
    cw.id = c.id;
    cw.kind = c.kind;
    cw.widget = CreateControl(window, c, cw);
    if (cw.widget == nullptr) continue;
    gtk_fixed_put(fixed, cw.widget, Px(c.x - offsetX, kScaleX), Px(c.y - offsetY, kScaleY));
    if (c.kind == QUOREL_GUI_STATIC && gtk_label_get_mnemonic_keyval(GTK_LABEL(cw.widget)) != GDK_KEY_VoidSymbol) {
      pendingMnemonic = cw.widget;
    } else if (pendingMnemonic != nullptr &&
               (c.kind == QUOREL_GUI_EDIT || c.kind == QUOREL_GUI_DROP_DOWN_LIST || c.kind == QUOREL_GUI_TRACKBAR)) {
      gtk_label_set_mnemonic_widget(GTK_LABEL(pendingMnemonic), cw.widget);
      pendingMnemonic = nullptr;
    }
    controls_.push_back(cw);
  }
}

void GtkDialogFace::Build() {
  QuorelGuiDialogWindow frame{};
  ops_.window(dialog_, 0, &frame);
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), frame.caption);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
  gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER_ON_PARENT);

  gtk_style_context_add_class(gtk_widget_get_style_context(window_), "quorel-dialog");
  AddDialogStyle(gtk_widget_get_screen(window_));

  GtkWidget *root = gtk_fixed_new();
  gtk_widget_set_size_request(root, Px(frame.width, kScaleX), Px(frame.height, kScaleY));
  gtk_container_add(GTK_CONTAINER(window_), root);

  // The tab control comes first, so that the frame's other controls lie above it.
  const int tabIndex = ops_.controlIndex(dialog_, 0, 1001);
  QuorelGuiDialogControl tab{};
  if (tabIndex >= 0 && ops_.control(dialog_, 0, tabIndex, &tab) != 0 && tab.kind == QUOREL_GUI_TAB) {
    hasTab_ = true;
    tabX_ = tab.x;
    tabY_ = tab.y;
    tabWidth_ = tab.width;
    tabHeight_ = tab.height;
    notebook_ = gtk_notebook_new();
    gtk_widget_set_size_request(notebook_, Px(tab.width, kScaleX), Px(tab.height, kScaleY));
    gtk_fixed_put(GTK_FIXED(root), notebook_, Px(tab.x, kScaleX), Px(tab.y, kScaleY));
    ControlWidget cw;
    cw.window = 0;
    cw.id = tab.id;
    cw.kind = tab.kind;
    cw.widget = notebook_;
    controls_.push_back(cw);
  }

  const int windows = ops_.windowCount(dialog_);
  if (notebook_ != nullptr) {
    const int pages = std::max(1, windows - 1);
    for (int page = 0; page < pages; ++page) {
      GtkWidget *fixed = gtk_fixed_new();
      const char *text = ops_.itemText(dialog_, 0, 1001, page);
      gtk_notebook_append_page(GTK_NOTEBOOK(notebook_), fixed, gtk_label_new(text != nullptr ? text : ""));
      if (windows > 1) {
        QuorelGuiDialogWindow info{};
        ops_.window(dialog_, page + 1, &info);
        BuildWindowControls(page + 1, GTK_FIXED(fixed), kTabInsetX - info.x, kTabInsetY - info.y, kAll);
      } else {
        // The camera dialog's controls sit on the frame, over its tab control.
        BuildWindowControls(0, GTK_FIXED(fixed), tabX_ + kTabInsetX, tabY_ + kTabInsetY, kInsideTab);
      }
    }
    g_signal_connect(notebook_, "switch-page", G_CALLBACK(+[](GtkNotebook *, GtkWidget *, guint page, gpointer p) {
                       auto *face = static_cast<GtkDialogFace *>(p);
                       if (face->updating_ > 0) return;
                       face->ops_.selectTab(face->dialog_, static_cast<int>(page));
                     }),
                     this);
  }
  BuildWindowControls(0, GTK_FIXED(root), 0, 0, hasTab_ ? kOutsideTab : kAll);

  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget *, GdkEvent *, gpointer p) -> gboolean {
                     auto *face = static_cast<GtkDialogFace *>(p);
                     face->ops_.click(face->dialog_, 0, 2);
                     return TRUE;  // the dialog, not GTK, decides when the window goes
                   }),
                   this);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(+[](GtkWidget *, GdkEventKey *event, gpointer p) -> gboolean {
                     auto *face = static_cast<GtkDialogFace *>(p);
                     if (event->keyval == GDK_KEY_Escape) {
                       face->ops_.click(face->dialog_, 0, 2);
                       return TRUE;
                     }
                     if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter) {
                       // Enter on a focused push button presses that button.
                       GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(face->window_));
                       if (focus != nullptr && GTK_IS_BUTTON(focus) && !GTK_IS_TOGGLE_BUTTON(focus)) return FALSE;
                       face->ops_.click(face->dialog_, 0, 1);
                       return TRUE;
                     }
                     return FALSE;
                   }),
                   this);
}

// --- following the model ----------------------------------------------------

void GtkDialogFace::Update(int window, int id) {
  ControlWidget *cw = Find(window, id);
  if (cw == nullptr) return;
  const int index = ops_.controlIndex(dialog_, window, id);
  QuorelGuiDialogControl c{};
  if (index < 0 || ops_.control(dialog_, window, index, &c) == 0) return;
  ++updating_;
  UpdateWidget(*cw, c);
  --updating_;
}

void GtkDialogFace::UpdateWidget(ControlWidget &cw, const QuorelGuiDialogControl &c) {
  GtkWidget *w = cw.widget;
  if (cw.kind != QUOREL_GUI_TAB) {
    gtk_widget_set_sensitive(w, c.enabled != 0);
    gtk_widget_set_visible(w, c.visible != 0);
  }
  switch (c.kind) {
    case QUOREL_GUI_TAB: {
      const int pages = gtk_notebook_get_n_pages(GTK_NOTEBOOK(w));
      for (int i = 0; i < pages && i < c.itemCount; ++i) {
        const char *text = ops_.itemText(dialog_, cw.window, c.id, i);
        gtk_notebook_set_tab_label_text(GTK_NOTEBOOK(w), gtk_notebook_get_nth_page(GTK_NOTEBOOK(w), i),
                                        text != nullptr ? text : "");
      }
      if (c.selection >= 0 && c.selection < pages) gtk_notebook_set_current_page(GTK_NOTEBOOK(w), c.selection);
      break;
    }
    case QUOREL_GUI_STATIC:
      if (std::string(c.text).find('&') != std::string::npos) {
        gtk_label_set_text_with_mnemonic(GTK_LABEL(w), GtkMnemonic(c.text).c_str());
      } else {
        gtk_label_set_text(GTK_LABEL(w), c.text);
      }
      break;
    case QUOREL_GUI_EDIT:
      // Only a different text is written, so the cursor stays where the user types.
      if (std::string(gtk_entry_get_text(GTK_ENTRY(w))) != c.text) gtk_entry_set_text(GTK_ENTRY(w), c.text);
      break;
    case QUOREL_GUI_DROP_DOWN_LIST: {
      GtkComboBoxText *combo = GTK_COMBO_BOX_TEXT(w);
      GtkTreeModel *model = gtk_combo_box_get_model(GTK_COMBO_BOX(w));
      bool same = gtk_tree_model_iter_n_children(model, nullptr) == c.itemCount;
      for (int i = 0; same && i < c.itemCount; ++i) {
        GtkTreeIter iter;
        gchar *text = nullptr;
        if (gtk_tree_model_iter_nth_child(model, &iter, nullptr, i)) gtk_tree_model_get(model, &iter, 0, &text, -1);
        const char *want = ops_.itemText(dialog_, cw.window, c.id, i);
        same = text != nullptr && want != nullptr && std::string(text) == want;
        g_free(text);
      }
      if (!same) {
        gtk_combo_box_text_remove_all(combo);
        for (int i = 0; i < c.itemCount; ++i) {
          const char *text = ops_.itemText(dialog_, cw.window, c.id, i);
          gtk_combo_box_text_append_text(combo, text != nullptr ? text : "");
        }
      }
      if (gtk_combo_box_get_active(GTK_COMBO_BOX(w)) != c.selection) {
        gtk_combo_box_set_active(GTK_COMBO_BOX(w), c.selection);
      }
      break;
    }
    case QUOREL_GUI_PUSH_BUTTON:
      gtk_button_set_label(GTK_BUTTON(w), GtkMnemonic(c.text).c_str());
      break;
    case QUOREL_GUI_CHECK_BOX:
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), c.checked != 0);
      break;
    case QUOREL_GUI_RADIO_BUTTON:
      if (c.checked != 0) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), TRUE);
      } else if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)) && cw.none != nullptr) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cw.none), TRUE);
      }
      break;
    case QUOREL_GUI_TRACKBAR: {
      GtkRange *range = GTK_RANGE(w);
      const int low = std::min(c.rangeMin, c.rangeMax);
      const int high = std::max({c.rangeMin, c.rangeMax, low + 1});
      gtk_range_set_range(range, low, high);
      gtk_scale_clear_marks(GTK_SCALE(w));
      if (c.tickFrequency > 0 && (high - low) / c.tickFrequency <= 64) {
        for (int tick = low; tick <= high; tick += c.tickFrequency) {
          gtk_scale_add_mark(GTK_SCALE(w), tick, GTK_POS_BOTTOM, nullptr);
        }
      }
      gtk_range_set_value(range, c.position);
      break;
    }
    default:
      break;
  }
}

void GtkDialogFace::ShowPage(int window, bool shown) {
  if (notebook_ == nullptr || !shown || window < 1) return;
  ++updating_;
  if (gtk_notebook_get_current_page(GTK_NOTEBOOK(notebook_)) != window - 1) {
    gtk_notebook_set_current_page(GTK_NOTEBOOK(notebook_), window - 1);
  }
  --updating_;
}

void GtkDialogFace::OnChanged(void *context, int window, int id) {
  static_cast<GtkDialogFace *>(context)->Update(window, id);
}

void GtkDialogFace::OnShown(void *context, int window, int shown) {
  static_cast<GtkDialogFace *>(context)->ShowPage(window, shown != 0);
}

// --- other threads ----------------------------------------------------------

void GtkDialogFace::Wake(void *context) {
  auto *face = static_cast<GtkDialogFace *>(context);
  std::lock_guard<std::mutex> lock(face->wakeLock_);
  if (face->pendingSource_ != nullptr) return;  // one queued run serves every post before it
  GSource *source = g_idle_source_new();
  g_source_set_callback(source, &GtkDialogFace::RunPostedIdle, face, nullptr);
  g_source_attach(source, face->context_);
  face->pendingSource_ = source;
}

gboolean GtkDialogFace::RunPostedIdle(gpointer data) {
  auto *face = static_cast<GtkDialogFace *>(data);
  {
    std::lock_guard<std::mutex> lock(face->wakeLock_);
    if (face->pendingSource_ != nullptr) g_source_unref(face->pendingSource_);
    face->pendingSource_ = nullptr;
  }
  face->ops_.runPosted(face->dialog_);
  return G_SOURCE_REMOVE;
}

// --- running ----------------------------------------------------------------

int GtkDialogFace::Run(unsigned long ownerXid, void (*onShown)(void *), void *onShownContext) {
  ops_.open(dialog_);
  Build();
  gtk_widget_show_all(window_);
  // show_all shows everything; the model decides what is visible.
  for (ControlWidget &cw : controls_) {
    Update(cw.window, cw.id);
    if (cw.none != nullptr) gtk_widget_hide(cw.none);
  }
  ops_.setObserver(dialog_, &GtkDialogFace::OnChanged, &GtkDialogFace::OnShown, this);
  ops_.setWakeup(dialog_, &GtkDialogFace::Wake, this);

  gtk_widget_realize(window_);
  if (ownerXid != 0) {
    GdkWindow *owner = gdk_x11_window_foreign_new_for_display(gtk_widget_get_display(window_), ownerXid);
    if (owner != nullptr) {
      gdk_window_set_transient_for(gtk_widget_get_window(window_), owner);
      g_object_unref(owner);
    } else {
      GuiLog(1, "dialog: owner window 0x%lx not found; shown without a parent", ownerXid);
    }
  }
  for (ControlWidget &cw : controls_) {
    if (cw.id == 1 && cw.window == 0) gtk_widget_grab_default(cw.widget);
  }
  gtk_window_present(GTK_WINDOW(window_));
  // Tasks posted before the wake-up was set.
  ops_.runPosted(dialog_);

  if (onShown != nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!gtk_widget_get_mapped(window_) && std::chrono::steady_clock::now() < deadline) {
      if (!g_main_context_iteration(context_, FALSE)) g_usleep(1000);
    }
    Settle();
    onShown(onShownContext);
  }
  while (ops_.ended(dialog_) == 0) g_main_context_iteration(context_, TRUE);
  return ops_.result(dialog_);
}

}  // namespace quorel::gui
