#include "Mind/AskComposer.h"

namespace quillfen {

ComposedAsk AskComposer::compose(const std::optional<Promise>& promise, const std::string& patternObservation,
                                 const std::optional<std::string>& conditionNote, const LineHistory& history,
                                 const std::optional<Uuid>& lastMoveId,
                                 std::optional<StoneTemperament> temperament, AnyRNGBox randomSource) {
    const std::optional<PromiseMove> move = promise ? promise->moveForThisMoment(lastMoveId) : std::nullopt;

    const LineSlots slots{.userPromiseText = move ? move->phrase : std::string(),
                          .moveLabel = move ? move->label : MoveLabel::stepOutside,
                          .patternObservation = patternObservation,
                          .conditionNote = conditionNote,
                          .temperament = temperament};
    LineTemplateEngine::Selection selection =
        LineTemplateEngine::selectAndRender(slots, history, std::move(randomSource));

    ComposedAsk ask;
    ask.line = std::move(selection.render.line);
    ask.templateId = std::move(selection.render.templateId);
    ask.form = selection.render.form;
    if (move) {
        ask.usedMoveId = move->id;
        ask.usedMoveLabel = move->label;
    }
    ask.history = std::move(selection.history);
    return ask;
}

}  // namespace quillfen
