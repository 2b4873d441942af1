#include "pronunciationswindow.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace {

enum Column { kFind, kSay, kPattern, kWholeWord, kMatchCase, kLanguage, kColumns };

const QString kFilter = QStringLiteral("Tab-separated lists (*.tsv *.txt);;All files (*)");

QTableWidgetItem *CheckItem(bool checked) {
    auto *item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return item;
}

} // namespace

PronunciationsWindow::PronunciationsWindow(QWidget *parent, QString file)
    : QDialog(parent), file_(std::move(file)) {
    setObjectName(QStringLiteral("frmPronunciations"));
    setWindowTitle(tr("Pronunciations"));
    setAccessibleName(tr("Pronunciations"));

    auto *intro = new QLabel(
        tr("Each rule has the voice say something else for a word or a pattern (a regular "
           "expression). The first rule that finds a piece of text wins."),
        this);
    intro->setWordWrap(true);

    table_ = new QTableWidget(0, kColumns, this);
    table_->setObjectName(QStringLiteral("tblRules"));
    table_->setAccessibleName(tr("Rules"));
    table_->setHorizontalHeaderLabels({tr("Find"), tr("Say instead"), tr("Pattern"),
                                       tr("Whole word"), tr("Match case"), tr("Language")});
    table_->horizontalHeader()->setSectionResizeMode(kFind, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(kSay, QHeaderView::Stretch);
    for (int column : {kPattern, kWholeWord, kMatchCase, kLanguage})
        table_->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    table_->horizontalHeaderItem(kLanguage)->setToolTip(
        tr("\"all\", or the language of the voices it is for: en, de, en-gb..."));
    table_->horizontalHeaderItem(kPattern)->setToolTip(
        tr("What to find is a regular expression, not a word."));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setTabKeyNavigation(false);
    table_->setEditTriggers(QAbstractItemView::AllEditTriggers);
    auto *caption = new QLabel(tr("R&ules:"), this);
    caption->setBuddy(table_);

    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("lblNotice"));
    notice_->setWordWrap(true);
    notice_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    notice_->setTextFormat(Qt::PlainText);
    notice_->setVisible(false);

    auto *add = new QPushButton(tr("&Add"), this);
    add->setObjectName(QStringLiteral("cmdAdd"));
    remove_ = new QPushButton(tr("&Remove"), this);
    remove_->setObjectName(QStringLiteral("cmdRemove"));
    auto *import = new QPushButton(tr("&Import..."), this);
    import->setObjectName(QStringLiteral("cmdImport"));
    auto *exportList = new QPushButton(tr("&Export..."), this);
    exportList->setObjectName(QStringLiteral("cmdExport"));
    for (QPushButton *button : {add, remove_, import, exportList})
        button->setAutoDefault(false);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto *row = new QHBoxLayout;
    row->addWidget(add);
    row->addWidget(remove_);
    row->addStretch();
    row->addWidget(import);
    row->addWidget(exportList);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(caption);
    layout->addWidget(table_, 1);
    layout->addWidget(notice_);
    layout->addLayout(row);
    layout->addWidget(buttons);
    resize(640, 360);

    connect(add, &QPushButton::clicked, this, [this] {
        AddRow({});
        table_->setCurrentCell(table_->rowCount() - 1, kFind);
        table_->setFocus();
        table_->editItem(table_->currentItem());
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        QList<int> rows;
        for (const QModelIndex &index : table_->selectionModel()->selectedRows())
            rows << index.row();
        if (rows.isEmpty() && table_->currentRow() >= 0)
            rows << table_->currentRow();
        std::sort(rows.begin(), rows.end(), std::greater<>());
        for (int r : rows)
            table_->removeRow(r);
        Check();
    });
    // Delete removes the rows chosen, as Remove does, unless a cell is being edited.
    auto *deleteRows = new QAction(tr("Remove"), table_);
    deleteRows->setShortcut(QKeySequence::Delete);
    deleteRows->setShortcutContext(Qt::WidgetShortcut);
    table_->addAction(deleteRows);
    connect(deleteRows, &QAction::triggered, remove_, &QPushButton::click);
    connect(import, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, tr("Import Pronunciations"), QString(), kFilter);
        if (!path.isEmpty())
            Import(path);
    });
    connect(exportList, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, tr("Export Pronunciations"), QStringLiteral("pronunciations.tsv"), kFilter);
        if (!path.isEmpty())
            Export(path);
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table_, &QTableWidget::itemChanged, this, [this] { Check(); });
    connect(table_, &QTableWidget::itemSelectionChanged, this,
            [this] { remove_->setEnabled(table_->currentRow() >= 0); });

    const PronunciationFile::Read read = PronunciationFile::Load(file_);
    readProblems_ = read.problems;
    if (!read.opened)
        readProblems_ << tr("Changes cannot be saved over it until it can be read.");
    else if (!read.problems.isEmpty())
        readProblems_ << tr("Those lines are kept in a copy of the file when the list is saved.");
    SetRules(read.rules);
}

void PronunciationsWindow::AddRow(const PronunciationRule &rule) {
    const QSignalBlocker quiet(table_);
    const int r = table_->rowCount();
    table_->insertRow(r);
    table_->setItem(r, kFind, new QTableWidgetItem(rule.find));
    table_->setItem(r, kSay, new QTableWidgetItem(rule.say));
    table_->setItem(r, kPattern, CheckItem(rule.pattern));
    table_->setItem(r, kWholeWord, CheckItem(rule.wholeWord));
    table_->setItem(r, kMatchCase, CheckItem(rule.matchCase));
    table_->setItem(r, kLanguage,
                    new QTableWidgetItem(rule.language.isEmpty() ? tr("all") : rule.language));
}

void PronunciationsWindow::SetRules(const std::vector<PronunciationRule> &rules) {
    table_->setRowCount(0);
    for (const PronunciationRule &rule : rules)
        AddRow(rule);
    Check();
}

std::vector<PronunciationRule> PronunciationsWindow::Rules() const {
    std::vector<PronunciationRule> rules;
    for (int r = 0; r < table_->rowCount(); ++r) {
        PronunciationRule rule;
        const auto text = [&](int column) {
            const QTableWidgetItem *item = table_->item(r, column);
            return item ? item->text() : QString();
        };
        const auto checked = [&](int column) {
            const QTableWidgetItem *item = table_->item(r, column);
            return item && item->checkState() == Qt::Checked;
        };
        rule.find = text(kFind);
        rule.say = text(kSay);
        rule.pattern = checked(kPattern);
        rule.wholeWord = checked(kWholeWord);
        rule.matchCase = checked(kMatchCase);
        const QString language = text(kLanguage).trimmed();
        if (language.compare(tr("all"), Qt::CaseInsensitive) != 0 &&
            language.compare(QLatin1String("all"), Qt::CaseInsensitive) != 0)
            rule.language = language;
        // A row left blank is no rule.
        if (!rule.find.isEmpty() || !rule.say.isEmpty())
            rules.push_back(std::move(rule));
    }
    return rules;
}

QString PronunciationsWindow::Notice() const {
    return notice_->text();
}

void PronunciationsWindow::Tell(const QString &text) {
    notice_->setText(text);
    notice_->setVisible(!text.isEmpty());
    notice_->setAccessibleName(text);
}

// Names the rules that cannot be used, on their rows and below the table.
void PronunciationsWindow::Check() {
    QStringList said = readProblems_;
    const std::vector<PronunciationRule> rules = Rules();
    const QSignalBlocker quiet(table_);
    std::size_t next = 0;
    for (int r = 0; r < table_->rowCount(); ++r) {
        QTableWidgetItem *find = table_->item(r, kFind);
        QTableWidgetItem *say = table_->item(r, kSay);
        if (!find || !say)
            continue;
        QString fault;
        if (!find->text().isEmpty() || !say->text().isEmpty()) {
            if (next < rules.size())
                fault = Pronunciations::Fault(rules[next++]);
        }
        find->setToolTip(fault);
        find->setForeground(fault.isEmpty() ? palette().text() : QBrush(Qt::red));
        if (!fault.isEmpty())
            said << tr("Rule %1: %2.").arg(r + 1).arg(fault);
    }
    Tell(said.join(u'\n'));
}

bool PronunciationsWindow::Import(const QString &path) {
    const PronunciationFile::Read read = PronunciationFile::Load(path);
    if (!read.opened) {
        QMessageBox::warning(this, tr("Import Pronunciations"), read.problems.value(0));
        return false;
    }
    for (const PronunciationRule &rule : read.rules)
        AddRow(rule);
    Check();
    if (!read.problems.isEmpty())
        QMessageBox::warning(this, tr("Import Pronunciations"),
                             tr("%n rule(s) imported. These lines could not be read:\n%1", "",
                                int(read.rules.size()))
                                 .arg(read.problems.join(u'\n')));
    return true;
}

bool PronunciationsWindow::Export(const QString &path) {
    QString error;
    if (!PronunciationFile::Save(path, Rules(), error)) {
        QMessageBox::warning(this, tr("Export Pronunciations"), error);
        return false;
    }
    return true;
}

void PronunciationsWindow::accept() {
    const std::vector<PronunciationRule> rules = Rules();
    QString error, keptAs;
    if (!PronunciationFile::SaveUserList(rules, error, &keptAs, file_)) {
        QMessageBox::warning(this, tr("Pronunciations"), error);
        return;
    }
    Pronunciations::Use(std::make_shared<const Pronunciations>(rules));
    if (!keptAs.isEmpty())
        QMessageBox::information(this, tr("Pronunciations"),
                                 tr("Some lines of the former list could not be read; that "
                                    "list is kept as it was in %1.")
                                     .arg(keptAs));
    QDialog::accept();
}
